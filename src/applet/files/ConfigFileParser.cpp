#include "files/ConfigFileParser.h"

#include "files/RegularFile.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace pellvane {

namespace {

constexpr const char* kHeaderSection = "[Kamerasektion]\n";
constexpr const char* kError = "Error";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void putText(char* out, const char* text, std::size_t length) {
    if (out == nullptr) return;
    length = std::min<std::size_t>(length, Fg_ConfigFileParser::kLineBuffer - 1);
    std::memcpy(out, text, length);
    out[length] = '\0';
}

void putError(char* out) {
    putText(out, kError, std::strlen(kError));
}

// The power of ten of the leading digit of a decimal number text ("123.4" gives 2, "0.05" gives
// -2, "1e400" gives 400); it tells an overflowing text from an underflowing one.
int64_t decimalMagnitude(const char* p) {
    int64_t position = 0;
    int64_t leadingZeros = 0; // zeros right after the point, before the first other digit
    bool seenNonZero = false, afterPoint = false;
    for (; (*p >= '0' && *p <= '9') || *p == '.'; ++p) {
        if (*p == '.') {
            afterPoint = true;
        } else if (!seenNonZero && *p == '0') {
            if (afterPoint) ++leadingZeros;
        } else if (!seenNonZero) {
            seenNonZero = true;
            position = afterPoint ? -leadingZeros - 1 : 0;
        } else if (!afterPoint) {
            ++position;
        }
    }
    int64_t exponent = 0;
    if (*p == 'e' || *p == 'E') {
        ++p;
        bool negative = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        for (; *p >= '0' && *p <= '9'; ++p)
            if (exponent < 1000000) exponent = exponent * 10 + (*p - '0');
        if (negative) exponent = -exponent;
    }
    return position + exponent;
}

} // namespace

Fg_ConfigFileParser::Fg_ConfigFileParser(const char* filename, bool readOnly) {
    // Binary on every platform: the text is the same bytes everywhere, and line ends are
    // handled by the reader (see rewindText), not by the C library's text mode.
    if (checkFileType(filename) && checkFileExist(filename))
        file_ = std::fopen(filename, readOnly ? "rb" : "r+b");
}

Fg_ConfigFileParser::~Fg_ConfigFileParser() {
    close();
}

void Fg_ConfigFileParser::close() {
    if (file_ != nullptr) {
        std::fflush(file_);
        std::fclose(file_);
        file_ = nullptr;
    }
    text_.clear();
    textCurrent_ = false;
}

bool Fg_ConfigFileParser::checkFileType(const char* filename) {
    return filename != nullptr && std::strstr(filename, ".mcf") != nullptr;
}

bool Fg_ConfigFileParser::checkFileExist(const char* filename) {
    if (filename == nullptr || isSpecialFile(filename)) return false;
    std::FILE* f = std::fopen(filename, "r");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

bool Fg_ConfigFileParser::setSaveFile(const char* filename) {
    if (!checkFileType(filename)) return false;
    close();
    // Binary, so that every line ends with a single line feed on every platform.
    file_ = std::fopen(filename, "wb");
    return file_ != nullptr;
}

// ---------------------------------------------------------------------------------------------
// Writing

void Fg_ConfigFileParser::writeLine(const std::string& text) {
    if (file_ == nullptr) return;
    // Write errors are not reported: a short file shows up when it is loaded. The stream is
    // flushed when the file is closed (or read again), not after every line.
    (void)std::fwrite(text.data(), 1, text.size(), file_);
    textCurrent_ = false;
}

void Fg_ConfigFileParser::writeConfigFileHeader() {
    writeLine(kHeaderSection);
    writeLine("\nConfigFileVersion=2.0;\n");
}

void Fg_ConfigFileParser::writeConfigFile(const char* key, const char* text) {
    if (key == nullptr) return;
    writeLine(std::string(key) + "='" + (text != nullptr ? text : "") + "';\n");
}

void Fg_ConfigFileParser::writeConfigFileValue(const char* key, const char* valueText) {
    if (key == nullptr) return;
    // The value text is formatted into a 32-byte buffer.
    std::string value = valueText != nullptr ? valueText : "";
    if (value.size() > 31) value.resize(31);
    writeLine(std::string(key) + "=" + value + ";\n");
}

void Fg_ConfigFileParser::writeConfigFileIntKey(const char* key, int32_t value) {
    writeConfigFileValue(key, std::to_string(value).c_str());
}

void Fg_ConfigFileParser::writeConfigFileUInt64Key(const char* key, uint64_t value) {
    writeConfigFileValue(key, std::to_string(value).c_str());
}

std::string Fg_ConfigFileParser::formatDouble(double value) {
    // As "%.12g" formats it in the C locale.
    char buffer[32];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 12);
    return std::string(buffer, r.ptr);
}

void Fg_ConfigFileParser::wrtiteConfigFileDoubleKey(const char* key, double value) {
    writeConfigFileValue(key, formatDouble(value).c_str());
}

std::string Fg_ConfigFileParser::portSectionName(int32_t port) {
    return std::string("[Port ") + static_cast<char>('A' + port) + "]";
}

void Fg_ConfigFileParser::writePortSection(int32_t port) {
    writeLine("\n" + portSectionName(port) + "\n");
}

// ---------------------------------------------------------------------------------------------
// Reading

// Starts reading at the first line again.
void Fg_ConfigFileParser::rewindText() {
    readPosition_ = 0;
    if (textCurrent_ || file_ == nullptr) return;
    text_.clear();
    std::rewind(file_);
    char chunk[4096];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0)
        text_.append(chunk, n);
    // Files edited on Windows end their lines with CR LF: the carriage return before a line
    // feed belongs to the line end, so such a file reads exactly like the same file with LF
    // ends (section lines, keys and the header alike). A carriage return anywhere else stays.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text_.size(); ++i)
        if (text_[i] != '\r' || i + 1 == text_.size() || text_[i + 1] != '\n')
            text_[kept++] = text_[i];
    text_.resize(kept);
    textCurrent_ = true;
}

// One line as fgets gives it: up to and including its line feed, a longer line in pieces of
// 255 characters (each of which counts as a line), always zero-terminated.
bool Fg_ConfigFileParser::readLine(char* line) {
    if (file_ == nullptr || readPosition_ >= text_.size()) return false;
    const char* start = text_.data() + readPosition_;
    std::size_t n = std::min<std::size_t>(kLineBuffer - 1, text_.size() - readPosition_);
    if (const void* feed = std::memchr(start, '\n', n))
        n = static_cast<std::size_t>(static_cast<const char*>(feed) - start) + 1;
    std::memcpy(line, start, n);
    line[n] = '\0';
    readPosition_ += n;
    return true;
}

int32_t Fg_ConfigFileParser::parseKeyFromLine(const char* key, char* out) {
    if (file_ == nullptr || key == nullptr) {
        putError(out);
        return kNotFound;
    }
    rewindText();
    char line[kLineBuffer];
    while (readLine(line)) {
        if (std::strstr(line, key) == nullptr) continue;
        // The second piece of the line split at "=" and "'" (runs of them count as one).
        const char* p = line;
        const char* pieces[2] = {nullptr, nullptr};
        std::size_t lengths[2] = {0, 0};
        for (int piece = 0; piece < 2 && *p != '\0'; ++piece) {
            while (*p == '=' || *p == '\'')
                ++p;
            if (*p == '\0') break;
            pieces[piece] = p;
            while (*p != '\0' && *p != '=' && *p != '\'')
                ++p;
            lengths[piece] = static_cast<std::size_t>(p - pieces[piece]);
        }
        if (pieces[1] != nullptr)
            putText(out, pieces[1], lengths[1]);
        else
            putText(out, "", 0);
        return 0;
    }
    putError(out);
    return kNotFound;
}

int32_t Fg_ConfigFileParser::parseKey(const char* section, const char* key, char* out) {
    if (file_ == nullptr || section == nullptr || key == nullptr || *key == '\0') {
        putError(out);
        return kNotFound;
    }
    rewindText();
    char line[kLineBuffer];
    bool inSection = false;
    while (!inSection && readLine(line))
        inSection = std::strstr(line, section) != nullptr;
    if (!inSection) {
        putError(out);
        return kNotFound;
    }
    const std::size_t keyLength = std::strlen(key);
    // Later sections do not stop the search.
    while (readLine(line)) {
        if (std::strncmp(line, key, keyLength) != 0 || line[keyLength] != '=') continue;
        const char* value = line + keyLength + 1;
        while (*value == '\'' || *value == ';')
            ++value;
        std::size_t length = 0;
        while (value[length] != '\0' && value[length] != '=' && value[length] != ';' &&
               value[length] != '\'' && value[length] != '\r' && value[length] != '\n')
            ++length;
        putText(out, value, length);
        return 0;
    }
    putError(out);
    return kNotFound;
}

int32_t Fg_ConfigFileParser::parseIntKey(const char* section, const char* key, uint32_t* out) {
    char value[kLineBuffer];
    if (parseKey(section, key, value) != 0 || std::strstr(value, kError) != nullptr) return -1;
    return getIntValue(value, out);
}

int32_t Fg_ConfigFileParser::parseIntKey(const char* section, const char* key, uint64_t* out) {
    char value[kLineBuffer];
    if (parseKey(section, key, value) != 0 || std::strstr(value, kError) != nullptr) return -1;
    return getIntValue(value, out);
}

int32_t Fg_ConfigFileParser::parseDoubleKey(const char* section, const char* key, double* out) {
    char value[kLineBuffer];
    if (parseKey(section, key, value) != 0 || std::strstr(value, kError) != nullptr) return -1;
    return getDoubleValue(value, out);
}

int32_t Fg_ConfigFileParser::parseIntKeyFromHeader(const char* key, uint32_t* out) {
    return parseIntKey(kHeaderSection, key, out);
}

int32_t Fg_ConfigFileParser::parsePortIntKey(int32_t port, const char* key, uint32_t* out) {
    if (key == nullptr) return -1;
    return parseIntKey(portSectionName(port).c_str(), key, out);
}

int32_t Fg_ConfigFileParser::parsePortUInt64Key(int32_t port, const char* key, uint64_t* out) {
    if (key == nullptr) return -1;
    return parseIntKey(portSectionName(port).c_str(), key, out);
}

int32_t Fg_ConfigFileParser::parsePortKey(int32_t port, const char* key, char* out) {
    if (key == nullptr) return -1;
    return parseKey(portSectionName(port).c_str(), key, out);
}

int32_t Fg_ConfigFileParser::parsePortDoubleKey(int32_t port, const char* key, double* out) {
    if (key == nullptr) return -1;
    return parseDoubleKey(portSectionName(port).c_str(), key, out);
}

// ---------------------------------------------------------------------------------------------
// Conversions

int32_t Fg_ConfigFileParser::getIntValue(const char* text, uint32_t* out) {
    // atoi: leading blanks, an optional sign, then digits; no digits give 0. A number beyond
    // the range of a long saturates there, and the int keeps its low 32 bits.
    const char* p = text != nullptr ? text : "";
    while (isBlank(*p))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    uint64_t magnitude = 0;
    bool saturated = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude > (uint64_t{1} << 62)) saturated = true;
        if (!saturated) magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
    }
    constexpr uint64_t kLongMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    int64_t value;
    if (negative)
        value = (saturated || magnitude > kLongMax) ? std::numeric_limits<int64_t>::min()
                                                    : -static_cast<int64_t>(magnitude);
    else
        value = (saturated || magnitude > kLongMax) ? std::numeric_limits<int64_t>::max()
                                                    : static_cast<int64_t>(magnitude);
    if (out != nullptr) *out = static_cast<uint32_t>(static_cast<uint64_t>(value));
    return 0;
}

int32_t Fg_ConfigFileParser::getIntValue(const char* text, uint64_t* out) {
    // "%I64u": blanks, an optional sign (a minus negates), digits; saturates at the maximum.
    const char* p = text != nullptr ? text : "";
    while (isBlank(*p))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    uint64_t value = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        uint64_t digit = static_cast<uint64_t>(*p - '0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) overflow = true;
        if (!overflow) value = value * 10 + digit;
    }
    if (overflow)
        value = std::numeric_limits<uint64_t>::max();
    else if (negative)
        value = 0 - value;
    if (out != nullptr) *out = value;
    return 0;
}

int32_t Fg_ConfigFileParser::getDoubleValue(const char* text, double* out) {
    // atof: blanks, an optional sign, then the longest decimal (or hexadecimal, or inf/nan)
    // number at the front; nothing readable gives 0.
    const char* p = text != nullptr ? text : "";
    while (isBlank(*p))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    const char* end = p + std::strlen(p);
    double value = 0.0;
    std::from_chars_result r{};
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
        r = std::from_chars(p + 2, end, value, std::chars_format::hex);
    else
        r = std::from_chars(p, end, value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Like strtod: too large gives infinity, too small zero.
        value = decimalMagnitude(p) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (r.ec != std::errc()) {
        value = 0.0;
    }
    if (out != nullptr) *out = negative ? -value : value;
    return 0;
}

} // namespace pellvane
