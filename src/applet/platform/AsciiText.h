#pragma once

// Case folding and trimming over ASCII only. The host may change the process locale at any time;
// the applet's file formats and switches must read the same regardless.

#include <string>
#include <string_view>

namespace pellvane::platform {

constexpr char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string asciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = asciiLower(c);
    return lower;
}

constexpr bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

// Space, tab, line feed, vertical tab, form feed and carriage return.
constexpr std::string_view kAsciiWhiteSpace = " \t\n\v\f\r";

constexpr std::string_view trimAscii(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kAsciiWhiteSpace);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kAsciiWhiteSpace);
    return text.substr(first, last - first + 1);
}

} // namespace pellvane::platform
