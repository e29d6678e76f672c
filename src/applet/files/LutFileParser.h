// Lookup-table files: the text form in which tables are exchanged with users.
//
// A file holds a header line, a section line such as "[gray]", four key lines (id,
// nrOfElements, format, number) and then one line per entry, "index,value;". Reading is
// deliberately lenient and matches by containment, line by line, the way these files have
// always been read: a key is found on the first line anywhere in the file that contains it, and
// entry i on the next line (from the section line on) that contains "i,". Nothing is
// validated; a missing key or entry reads as 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace pellvane {

// The table a file holds, as the reader fills it and the writer reads it.
struct LutTable {
    std::vector<uint32_t> entries;
    uint32_t id = 0;
    uint32_t nrOfElements = 0;
    uint32_t format = 0;
    uint32_t number = 0; // the gray writer keeps only its low 8 bits
};

// Conversion with the rules of the C library's atoi (leading white space, an optional sign,
// then decimal digits; no digits gives 0), independent of the locale and saturating at the
// limits of a 32-bit integer instead of overflowing.
int32_t asciiToInt(std::string_view text);

// One file, open for one read or one write; closed when the parser goes out of scope.
class LutFileParser {
public:
    // Lines are read in pieces of at most this many characters; each piece counts as a line.
    static constexpr std::size_t kLineLength = 255;

    LutFileParser() = default;
    ~LutFileParser();
    LutFileParser(const LutFileParser&) = delete;
    LutFileParser& operator=(const LutFileParser&) = delete;

    // True when the file can be opened for reading (it is closed again at once).
    static bool fileReadable(const char* fileName);

    // Creates or replaces the file.
    bool openForWriting(const char* fileName);
    // False when the file does not exist; otherwise opens it read-only or for update.
    bool openForReading(const char* fileName, bool readOnly);
    // Flushes and closes; false when the stream reported an error at any point.
    bool close();

    // Each write is flushed at once; false when the stream failed.
    bool writeText(std::string_view text);
    // key, separator, value, ";" and a line feed; the line must fit in kLineLength characters.
    bool writeKeyLine(std::string_view key, std::string_view value, std::string_view separator);

    // The second piece, split at any of the delimiters, of the first line containing the key;
    // "Error" when no line contains it.
    std::string findKey(const char* key, std::string_view delimiters);
    // 0 and the value converted like atoi, or -1 (and 0) when the key is missing.
    int32_t readNumberKey(const char* key, uint32_t& value);
    // Fills out[0 … count) from the entry lines, starting at the line that contains the
    // section text. Entries not found are left as they are.
    void readEntries(uint32_t* out, std::size_t count, char separator, const char* section);

    // Reads a table of one section. At most maxEntries entries are kept, however many the file
    // announces; nrOfElements stays as the file gives it. 0, or -1 when the file cannot be
    // opened or reading it failed.
    int32_t readGrayTable(const char* fileName, LutTable& table, const char* section,
                          std::size_t maxEntries);
    // Writes the table in the gray form. 0, or -1 when the file cannot be created or a write
    // failed.
    int32_t writeGrayTable(const char* fileName, const LutTable& table);

private:
    // Reads the next line piece into the buffer; false at the end of the file.
    bool readLine(char (&line)[kLineLength + 1]);
    bool rewind();

    std::FILE* file_ = nullptr;
};

} // namespace pellvane
