#include "platform/ModulePath.h"

namespace pellvane::platform {

ModuleFileParts splitModulePath(std::string_view path) {
    ModuleFileParts parts{{}, {}, false};
    const std::size_t separator = path.find_last_of("\\/");
    std::string_view file = path;
    if (separator != std::string_view::npos) {
        parts.hasSeparator = true;
        parts.directory.assign(path.substr(0, separator));
        file = path.substr(separator + 1);
    }
    const std::size_t dot = file.rfind('.');
    parts.baseName.assign(dot == std::string_view::npos ? file : file.substr(0, dot));
    return parts;
}

std::string fileBesideModule(std::string_view directory, std::string_view fileName) {
#ifdef _WIN32
    constexpr char kSeparator = '\\';
#else
    constexpr char kSeparator = '/';
#endif
    std::string path(directory);
    path += kSeparator;
    path += fileName;
    return path;
}

} // namespace pellvane::platform
