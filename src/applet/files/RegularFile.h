// Files the applet reads are ordinary files. A special file (a device, a pipe, a socket) is
// refused before it is opened: reading /dev/zero as a table would never end, and opening a
// pipe waits for a writer that may never come. Folders and missing files take their usual
// paths (a folder opens and fails to read; a missing file fails to open).
#pragma once

#include <filesystem>
#include <system_error>

namespace pellvane {

inline bool isSpecialFile(const char* name) {
    std::error_code error;
    const auto type = std::filesystem::status(std::filesystem::path(name), error).type();
    using std::filesystem::file_type;
    return type != file_type::regular && type != file_type::directory &&
           type != file_type::not_found && type != file_type::none;
}

} // namespace pellvane
