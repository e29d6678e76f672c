// Checks configuration (.mcf) and lookup-table files before the applet loads them.
//
// The applet loads such files without a word about values that a set would refuse, text that
// is not a number, or entries that are missing. The readers here find each value exactly where
// and as the applet finds it (its rules for sections, the first matching line, keys that begin
// another key, lines read in pieces of 255 characters, carriage returns, the table layout), and
// the checker then judges what they found against the live limits of a fresh applet. A test
// keeps the readers and the applet in step: what the readers report is what a load gives.
#pragma once

#include "Board.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pellvane::tools {

struct Finding {
    enum class Severity { Error, Warning };
    Severity severity = Severity::Error;
    std::string file;
    int line = 0; // 0: the file as a whole
    std::string key;
    std::string reason;
};

bool hasErrors(const std::vector<Finding>& findings);
// "file:line: error: KEY: reason"
std::string findingText(const Finding& f);

// ---- reading as the applet reads ----

// A key's value as the applet's configuration reader finds it.
struct KeyReading {
    int line = 0;     // where it was found
    std::string text; // the value text, cut where the applet cuts it
};

class ConfigFileReader {
public:
    explicit ConfigFileReader(const std::string& file);
    bool opened() const { return opened_; }
    bool hasCarriageReturns() const { return text_.find('\r') != std::string::npos; }

    // The section of port 0 ("[Port A]"), then the first line that is KEY=…, as the loader
    // reads parameters; nothing when the applet would not find it.
    std::optional<KeyReading> portKey(const std::string& key) const;
    // A header text key (Hersteller, Typ): the first line holding the key anywhere.
    std::optional<KeyReading> headerText(const std::string& key) const;
    // A header number key (AktivePort), in the header section.
    std::optional<KeyReading> headerNumber(const std::string& key) const;
    // The line of the first piece that contains `text`, or 0.
    int lineContaining(const std::string& text) const;

    // Every line of the form KEY=… after the port section: its key and line (later duplicates
    // included), for telling unknown and repeated keys.
    std::vector<std::pair<std::string, int>> portLines() const;

    // Conversions as the applet makes them: an integer with the C library's atoi rules kept to
    // 32 bits, a double with atof's.
    static uint32_t integerValue(const std::string& text);
    static double doubleValue(const std::string& text);

private:
    struct Piece {
        std::string text;
        int line;
    };
    std::optional<KeyReading> sectionKey(const std::string& section, const std::string& key) const;
    std::string text_;
    std::vector<Piece> pieces_; // the file in the pieces the applet reads
    bool opened_ = false;
};

// A lookup-table file as the applet reads it into its table.
struct LutReading {
    bool opened = false;
    uint32_t id = 0, nrOfElements = 0, format = 0, number = 0;
    bool hasElementCount = false;
    int sectionLine = 0;            // the "[gray]" line, 0 when there is none
    std::vector<uint32_t> entries;  // what the table receives: min(nrOfElements, maxEntries) values
    std::vector<int> lines;         // the line each entry came from, 0 when it stayed 0
    std::vector<std::string> texts; // the value text of each entry found
    std::vector<int64_t> indexes;   // the index the line of each entry begins with
};

LutReading readLutFile(const std::string& file, std::size_t maxEntries);

// ---- checking ----

class FileChecker {
public:
    // `fresh` is an applet opened for the check alone: values are tried on it.
    explicit FileChecker(Board& fresh);

    // A configuration file when its name contains ".mcf" (as the applet decides), else a
    // lookup-table file.
    std::vector<Finding> check(const std::string& file);
    std::vector<Finding> checkConfig(const std::string& file);
    std::vector<Finding> checkLut(const std::string& file);

    // The keys the applet saves and loads, in its order, with whether each is a text.
    const std::vector<std::pair<std::string, bool>>& configKeys();

private:
    Board& board_;
    std::vector<std::pair<std::string, bool>> keys_;
};

} // namespace pellvane::tools
