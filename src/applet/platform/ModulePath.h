#pragma once

// Where the applet's own file lives: the applet is named after its file and reads the inspection
// file from the folder beside it.

#include <string>
#include <string_view>

namespace pellvane::platform {

// Full path of the module (shared library or program) whose code calls this; compiled into the
// applet it names the applet library, not the host program. The module's reference count is not
// touched. Empty when the system cannot tell.
std::string ownModulePath();

struct ModuleFileParts {
    std::string directory; // before the last separator; empty without one
    std::string baseName;  // after it, up to its last "." (the whole name without a ".")
    bool hasSeparator;     // whether a "\" or "/" was found at all
};

// Splits at the last "\" or "/", whichever comes later: Windows accepts both in one path.
ModuleFileParts splitModulePath(std::string_view path);

// The file `fileName` in the folder `directory`. Windows joins with "\". On POSIX "\" is an
// ordinary file-name character, so "/" is used there instead.
std::string fileBesideModule(std::string_view directory, std::string_view fileName);

} // namespace pellvane::platform
