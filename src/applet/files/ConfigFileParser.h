// The configuration file (.mcf): line-oriented text holding a whole parameter set. The parser
// owns the file while it is open and does everything that touches the text; it knows nothing
// about parameters.
//
// Numbers are written and read without the C library's locale-dependent conversions, so a
// host process that runs with a comma as decimal separator still gets files with a point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace pellvane {

class Fg_ConfigFileParser {
public:
    // Lines are read in pieces of at most this many characters plus the terminating zero;
    // output buffers of the text readers must hold kLineBuffer bytes.
    static constexpr int kLineBuffer = 256;
    static constexpr int32_t kNotFound = -8000;

    // A parser without a file.
    Fg_ConfigFileParser() = default;
    // Opens an existing .mcf file for reading (readOnly) or reading and writing.
    Fg_ConfigFileParser(const char* filename, bool readOnly);
    ~Fg_ConfigFileParser();
    Fg_ConfigFileParser(const Fg_ConfigFileParser&) = delete;
    Fg_ConfigFileParser& operator=(const Fg_ConfigFileParser&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    void close();

    static bool checkFileType(const char* filename);
    static bool checkFileExist(const char* filename);
    // Opens the file for writing, replacing what it held.
    bool setSaveFile(const char* filename);

    void writeConfigFileHeader();
    void writeConfigFile(const char* key, const char* text);
    void writeConfigFileValue(const char* key, const char* valueText);
    void writeConfigFileIntKey(const char* key, int32_t value);
    void writeConfigFileUInt64Key(const char* key, uint64_t value);
    void wrtiteConfigFileDoubleKey(const char* key, double value);
    void writePortSection(int32_t port);

    int32_t parseKeyFromLine(const char* key, char* out);
    int32_t parseKey(const char* section, const char* key, char* out);
    int32_t parseIntKey(const char* section, const char* key, uint32_t* out);
    int32_t parseIntKey(const char* section, const char* key, uint64_t* out);
    int32_t parseDoubleKey(const char* section, const char* key, double* out);
    int32_t parseIntKeyFromHeader(const char* key, uint32_t* out);
    int32_t parsePortIntKey(int32_t port, const char* key, uint32_t* out);
    int32_t parsePortUInt64Key(int32_t port, const char* key, uint64_t* out);
    int32_t parsePortKey(int32_t port, const char* key, char* out);
    int32_t parsePortDoubleKey(int32_t port, const char* key, double* out);

    // Conversions with the C library's rules (atoi, "%I64u", atof), without its locale.
    static int32_t getIntValue(const char* text, uint32_t* out);
    static int32_t getIntValue(const char* text, uint64_t* out);
    static int32_t getDoubleValue(const char* text, double* out);

    static std::string portSectionName(int32_t port);
    static std::string formatDouble(double value);

private:
    bool readLine(char* line);
    void rewindText();
    void writeLine(const std::string& text);

    std::FILE* file_ = nullptr;
    // Every look-up reads the file from its first line. The text is read from the file once,
    // at the first look-up after opening or writing, and the lines are then taken from here.
    std::string text_;
    std::size_t readPosition_ = 0;
    bool textCurrent_ = false;
};

} // namespace pellvane
