#include "files/LutFileParser.h"

#include "files/RegularFile.h"

#include "platform/AsciiText.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>

namespace pellvane {

namespace {

constexpr std::string_view kHeader = "# Lut data file v1.1\n\n";
constexpr std::string_view kKeyDelimiters = "='";
constexpr std::string_view kNotFound = "Error";

// Piece n (counted from 0) of the text split at any of the delimiters, the way strtok splits:
// runs of delimiters count as one and leading ones are skipped. Nothing when there are fewer
// pieces.
std::optional<std::string_view> piece(std::string_view text, std::string_view delimiters,
                                      std::size_t n) {
    std::size_t pos = 0;
    for (std::size_t i = 0;; ++i) {
        pos = text.find_first_not_of(delimiters, pos);
        if (pos == std::string_view::npos) return std::nullopt;
        std::size_t end = text.find_first_of(delimiters, pos);
        if (end == std::string_view::npos) end = text.size();
        if (i == n) return text.substr(pos, end - pos);
        pos = end;
    }
}

std::string decimal(int32_t value) {
    char text[16];
    auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// Values are written with "%d": an unsigned entry above the signed range reads back the same
// after atoi and the conversion to unsigned.
std::string decimal(uint32_t value) {
    return decimal(static_cast<int32_t>(value));
}

} // namespace

int32_t asciiToInt(std::string_view text) {
    std::size_t pos = text.find_first_not_of(platform::kAsciiWhiteSpace);
    if (pos == std::string_view::npos) return 0;
    bool negative = false;
    if (text[pos] == '+' || text[pos] == '-') {
        negative = text[pos] == '-';
        ++pos;
    }
    // Accumulated as a negative number, whose range covers the smallest 32-bit integer.
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    int64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 - (text[pos] - '0');
        if (value < kMin) value = kMin - 1; // saturated; stays below the limit from here on
    }
    if (negative)
        return value < kMin ? std::numeric_limits<int32_t>::min() : static_cast<int32_t>(value);
    return -value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                        : static_cast<int32_t>(-value);
}

LutFileParser::~LutFileParser() {
    close();
}

bool LutFileParser::fileReadable(const char* fileName) {
    if (fileName == nullptr || isSpecialFile(fileName)) return false;
    std::FILE* f = std::fopen(fileName, "r");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

bool LutFileParser::openForWriting(const char* fileName) {
    close();
    if (fileName == nullptr) return false;
    // Binary, so that every line ends with a single line feed on every platform.
    file_ = std::fopen(fileName, "wb");
    return file_ != nullptr;
}

bool LutFileParser::openForReading(const char* fileName, bool readOnly) {
    close();
    if (!fileReadable(fileName)) return false;
    file_ = std::fopen(fileName, readOnly ? "r" : "r+");
    return file_ != nullptr;
}

bool LutFileParser::close() {
    if (file_ == nullptr) return true;
    bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    return ok;
}

bool LutFileParser::writeText(std::string_view text) {
    if (file_ == nullptr) return false;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) return false;
    return std::fflush(file_) == 0;
}

bool LutFileParser::writeKeyLine(std::string_view key, std::string_view value,
                                 std::string_view separator) {
    std::string line;
    line.reserve(key.size() + separator.size() + value.size() + 2);
    line.append(key).append(separator).append(value).append(";\n");
    if (line.size() > kLineLength) return false;
    return writeText(line);
}

bool LutFileParser::readLine(char (&line)[kLineLength + 1]) {
    return std::fgets(line, static_cast<int>(sizeof line), file_) != nullptr;
}

// Back to the start; the stream's error indicator survives, so a failed read is still seen
// when the file is closed.
bool LutFileParser::rewind() {
    return file_ != nullptr && std::fseek(file_, 0, SEEK_SET) == 0;
}

std::string LutFileParser::findKey(const char* key, std::string_view delimiters) {
    if (key == nullptr || !rewind()) return std::string(kNotFound);
    char line[kLineLength + 1];
    while (readLine(line)) {
        if (std::strstr(line, key) == nullptr) continue;
        // A key line without a value gives the empty text, which converts to 0.
        return std::string(piece(line, delimiters, 1).value_or(std::string_view{}));
    }
    return std::string(kNotFound);
}

int32_t LutFileParser::readNumberKey(const char* key, uint32_t& value) {
    std::string text = findKey(key, kKeyDelimiters);
    if (text == kNotFound) {
        value = 0;
        return -1;
    }
    value = static_cast<uint32_t>(asciiToInt(text));
    return 0;
}

void LutFileParser::readEntries(uint32_t* out, std::size_t count, char separator,
                                const char* section) {
    if (out == nullptr || section == nullptr || count == 0 || !rewind()) return;
    const char separatorText[] = {separator, '\0'};
    char line[kLineLength + 1];
    bool inSection = false;
    std::size_t next = 0;
    std::string expected = std::to_string(next) + separator;
    while (next < count && readLine(line)) {
        if (!inSection) {
            if (std::strstr(line, section) == nullptr) continue;
            inSection = true; // this line itself may hold the first entry
        }
        if (std::strstr(line, expected.c_str()) == nullptr) continue;
        // A line without a value after the separator reads as 0; atoi ignores the ";".
        std::string_view value = piece(line, separatorText, 1).value_or(std::string_view{});
        out[next] = static_cast<uint32_t>(asciiToInt(value));
        ++next;
        expected = std::to_string(next) + separator;
    }
}

int32_t LutFileParser::readGrayTable(const char* fileName, LutTable& table, const char* section,
                                     std::size_t maxEntries) {
    table.entries.clear();
    table.entries.shrink_to_fit();
    if (!openForReading(fileName, true)) return -1;
    // A missing key reads as 0; nothing depends on the header being present.
    readNumberKey("id", table.id);
    readNumberKey("nrOfElements", table.nrOfElements);
    readNumberKey("format", table.format);
    readNumberKey("number", table.number);
    // The file decides how many entries it announces, not how much memory is taken.
    table.entries.assign(std::min<std::size_t>(table.nrOfElements, maxEntries), 0);
    readEntries(table.entries.data(), table.entries.size(), ',', section);
    return close() ? 0 : -1;
}

int32_t LutFileParser::writeGrayTable(const char* fileName, const LutTable& table) {
    if (!openForWriting(fileName)) return -1;
    bool ok = writeText(kHeader) && writeText("\n\n") && writeText("[gray]") && writeText("\n\n") &&
              writeKeyLine("id", decimal(table.id), "=") &&
              writeKeyLine("nrOfElements", decimal(table.nrOfElements), "=") &&
              writeKeyLine("format", decimal(table.format), "=") &&
              writeKeyLine("number", decimal(table.number & 0xFFu), "=");
    const std::size_t count = std::min<std::size_t>(table.nrOfElements, table.entries.size());
    for (std::size_t i = 0; ok && i < count; ++i)
        ok = writeKeyLine(decimal(static_cast<uint32_t>(i)), decimal(table.entries[i]), ",");
    return close() && ok ? 0 : -1;
}

} // namespace pellvane
