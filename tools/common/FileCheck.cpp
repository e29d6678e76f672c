#include "FileCheck.h"

#include "Explain.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <set>

namespace pellvane::tools {

namespace {

// The applet reads lines into 256-byte buffers: a longer line comes in pieces of 255.
constexpr std::size_t kPiece = 255;
constexpr const char* kHeaderSection = "[Kamerasektion]\n";
constexpr const char* kPortSection = "[Port A]";
constexpr const char* kGraySection = "[gray]";
// Configuration lines are read in pieces, so a user file name longer than this comes back cut.
constexpr std::size_t kLongestFileName = 235;

using Severity = Finding::Severity;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Files the applet reads are ordinary files: a device or a pipe it refuses unopened.
bool ordinaryFile(const std::string& file) {
    std::error_code ec;
    const auto type = std::filesystem::status(file, ec).type();
    return type == std::filesystem::file_type::regular;
}

// Text mode, as the applet opens the file: on Windows a CR LF pair reads as a line feed.
std::optional<std::string> readText(const std::string& file) {
    if (!ordinaryFile(file)) return std::nullopt;
    std::FILE* f = std::fopen(file.c_str(), "r");
    if (f == nullptr) return std::nullopt;
    std::string text;
    char chunk[4096];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        text.append(chunk, n);
    std::fclose(f);
    return text;
}

// Moves `i` past leading blanks and a sign, as the C library's conversions begin; true for a
// minus.
bool skipBlanksAndSign(const std::string& text, std::size_t& i) {
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) return text[i++] == '-';
    return false;
}

// The file in the pieces the applet reads it: lines up to and including their line feed, a
// longer line in pieces of 255 characters, each piece a C string (a zero byte ends it), with
// the number of the line it belongs to.
std::vector<std::pair<std::string, int>> piecesOf(const std::string& text) {
    std::vector<std::pair<std::string, int>> out;
    int line = 1;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t n = std::min(kPiece, text.size() - pos);
        if (const void* feed = std::memchr(text.data() + pos, '\n', n))
            n = static_cast<std::size_t>(static_cast<const char*>(feed) - (text.data() + pos)) + 1;
        std::string chunk = text.substr(pos, n);
        chunk.resize(std::strlen(chunk.c_str()));
        out.emplace_back(std::move(chunk), line);
        if (text[pos + n - 1] == '\n') ++line;
        pos += n;
    }
    return out;
}

// atoi kept to 32 bits, as the table reader converts: saturates at the 32-bit limits.
int32_t asciiToInt(const std::string& text) {
    std::size_t i = 0;
    const bool negative = skipBlanksAndSign(text, i);
    int64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        v = std::min<int64_t>(v * 10 + (text[i] - '0'), int64_t{1} << 32);
    if (negative) v = -v;
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// The n-th piece of a text split at runs of any of the delimiters, as strtok splits.
std::optional<std::string> piece(const std::string& text, const char* delimiters, std::size_t n) {
    std::size_t pos = 0;
    for (std::size_t i = 0;; ++i) {
        pos = text.find_first_not_of(delimiters, pos);
        if (pos == std::string::npos) return std::nullopt;
        std::size_t end = text.find_first_of(delimiters, pos);
        if (end == std::string::npos) end = text.size();
        if (i == n) return text.substr(pos, end - pos);
        pos = end;
    }
}

// A whole number and nothing else (blanks around it aside).
bool cleanInteger(const std::string& text) {
    std::size_t i = 0, end = text.size();
    skipBlanksAndSign(text, i);
    while (end > i && isBlank(text[end - 1]))
        --end;
    if (i == end) return false;
    for (; i < end; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

bool cleanDouble(const std::string& text) {
    std::size_t i = 0;
    const std::size_t end = text.size();
    skipBlanksAndSign(text, i);
    double v = 0;
    auto r = std::from_chars(text.data() + i, text.data() + end, v);
    return r.ec == std::errc() && r.ptr == text.data() + end && std::isfinite(v);
}

std::string inQuotes(const std::string& text) {
    return "'" + text + "'";
}

} // namespace

bool hasErrors(const std::vector<Finding>& findings) {
    for (const Finding& f : findings)
        if (f.severity == Severity::Error) return true;
    return false;
}

std::string findingText(const Finding& f) {
    std::string out = f.file;
    if (f.line > 0) out += ":" + std::to_string(f.line);
    out += f.severity == Severity::Error ? ": error: " : ": warning: ";
    if (!f.key.empty()) out += f.key + ": ";
    return out + f.reason;
}

// ---- the configuration reader ----

ConfigFileReader::ConfigFileReader(const std::string& file) {
    std::optional<std::string> text = readText(file);
    if (!text) return;
    opened_ = true;
    text_ = std::move(*text);
    for (auto& [piece, line] : piecesOf(text_))
        pieces_.push_back(Piece{std::move(piece), line});
}

std::optional<KeyReading> ConfigFileReader::sectionKey(const std::string& section,
                                                       const std::string& key) const {
    if (key.empty()) return std::nullopt;
    std::size_t i = 0;
    while (i < pieces_.size() && pieces_[i].text.find(section) == std::string::npos)
        ++i;
    // Later sections do not end the search.
    for (++i; i < pieces_.size(); ++i) {
        const std::string& t = pieces_[i].text;
        if (t.compare(0, key.size(), key) != 0 || t.size() <= key.size() || t[key.size()] != '=')
            continue;
        std::size_t v = key.size() + 1;
        while (v < t.size() && (t[v] == '\'' || t[v] == ';'))
            ++v;
        std::size_t end = t.find_first_of("=;'\r\n", v);
        if (end == std::string::npos) end = t.size();
        KeyReading r{pieces_[i].line, t.substr(v, end - v)};
        return r;
    }
    return std::nullopt;
}

std::optional<KeyReading> ConfigFileReader::portKey(const std::string& key) const {
    return sectionKey(kPortSection, key);
}

std::optional<KeyReading> ConfigFileReader::headerNumber(const std::string& key) const {
    std::optional<KeyReading> r = sectionKey(kHeaderSection, key);
    if (r && r->text.find("Error") != std::string::npos) return std::nullopt;
    return r;
}

std::optional<KeyReading> ConfigFileReader::headerText(const std::string& key) const {
    for (const Piece& p : pieces_) {
        if (p.text.find(key) == std::string::npos) continue;
        return KeyReading{p.line, piece(p.text, "='", 1).value_or("")};
    }
    return std::nullopt;
}

int ConfigFileReader::lineContaining(const std::string& text) const {
    for (const Piece& p : pieces_)
        if (p.text.find(text) != std::string::npos) return p.line;
    return 0;
}

std::vector<std::pair<std::string, int>> ConfigFileReader::portLines() const {
    std::vector<std::pair<std::string, int>> out;
    std::size_t i = 0;
    while (i < pieces_.size() && pieces_[i].text.find(kPortSection) == std::string::npos)
        ++i;
    for (++i; i < pieces_.size(); ++i) {
        const std::string& t = pieces_[i].text;
        const std::size_t eq = t.find('=');
        if (eq == std::string::npos || eq == 0 || t[0] == '[') continue;
        out.emplace_back(t.substr(0, eq), pieces_[i].line);
    }
    return out;
}

uint32_t ConfigFileReader::integerValue(const std::string& text) {
    // atoi into a long: saturates at the 64-bit limits, and the 32-bit field keeps the low bits.
    std::size_t i = 0;
    const bool negative = skipBlanksAndSign(text, i);
    uint64_t magnitude = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (magnitude > (uint64_t{1} << 62)) saturated = true;
        if (!saturated) magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    int64_t v = 0;
    if (negative)
        v = saturated || magnitude > kMax ? std::numeric_limits<int64_t>::min()
                                          : -static_cast<int64_t>(magnitude);
    else
        v = saturated || magnitude > kMax ? std::numeric_limits<int64_t>::max()
                                          : static_cast<int64_t>(magnitude);
    return static_cast<uint32_t>(static_cast<uint64_t>(v));
}

double ConfigFileReader::doubleValue(const std::string& text) {
    std::size_t i = 0;
    const bool negative = skipBlanksAndSign(text, i);
    const char* p = text.data() + i;
    const char* end = text.data() + text.size();
    double v = 0;
    std::from_chars_result r{};
    if (end - p > 1 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
        r = std::from_chars(p + 2, end, v, std::chars_format::hex);
    else
        r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large gives infinity, too small zero: the sign of the exponent tells which.
        const std::size_t e = text.find_first_of("eE", i);
        v = e != std::string::npos && e + 1 < text.size() && text[e + 1] == '-'
                ? 0.0
                : std::numeric_limits<double>::infinity();
    } else if (r.ec != std::errc()) {
        v = 0;
    }
    return negative ? -v : v;
}

// ---- the lookup-table reader ----

LutReading readLutFile(const std::string& file, std::size_t maxEntries) {
    LutReading out;
    std::optional<std::string> text = readText(file);
    if (!text) return out;
    out.opened = true;
    // The table reader takes lines with fgets into 256 bytes: the same pieces.
    const std::vector<std::pair<std::string, int>> lines = piecesOf(*text);
    auto number = [&](const char* key, uint32_t& value) {
        for (const auto& [t, l] : lines) {
            if (t.find(key) == std::string::npos) continue;
            value = static_cast<uint32_t>(asciiToInt(piece(t, "='", 1).value_or("")));
            return true;
        }
        return false;
    };
    number("id", out.id);
    out.hasElementCount = number("nrOfElements", out.nrOfElements);
    number("format", out.format);
    number("number", out.number);
    const std::size_t count = std::min<std::size_t>(out.nrOfElements, maxEntries);
    out.entries.assign(count, 0);
    out.lines.assign(count, 0);
    out.texts.assign(count, "");
    out.indexes.assign(count, 0);
    std::size_t next = 0;
    std::string expected = "0,";
    bool inSection = false;
    for (const auto& [t, l] : lines) {
        if (next >= count) break;
        if (!inSection) {
            if (t.find(kGraySection) == std::string::npos) continue;
            inSection = true; // this line itself may hold the first entry
            out.sectionLine = l;
        }
        if (t.find(expected) == std::string::npos) continue;
        const std::string value = piece(t, ",", 1).value_or("");
        out.entries[next] = static_cast<uint32_t>(asciiToInt(value));
        out.lines[next] = l;
        out.texts[next] = value;
        out.indexes[next] = asciiToInt(piece(t, ",", 0).value_or(""));
        ++next;
        expected = std::to_string(next) + ",";
    }
    if (!inSection)
        for (const auto& [t, l] : lines)
            if (t.find(kGraySection) != std::string::npos) out.sectionLine = l;
    return out;
}

// ---- checking ----

FileChecker::FileChecker(Board& fresh) : board_(fresh) {}

const std::vector<std::pair<std::string, bool>>& FileChecker::configKeys() {
    if (!keys_.empty()) return keys_;
    // The applet itself says which keys it writes, and so which it needs: a file it saves.
    std::random_device random;
    const auto file = std::filesystem::temp_directory_path() /
                      ("pellvane-keys-" + std::to_string(random()) + ".mcf");
    board_.saveConfig(file.string());
    std::optional<std::string> text = readText(file.string());
    std::error_code ec;
    std::filesystem::remove(file, ec);
    if (!text) throw BoardError(kFileIo, "read the applet's own configuration file");
    std::size_t pos = text->find(kPortSection);
    if (pos == std::string::npos)
        throw BoardError(kFileIo, "read the applet's own configuration file");
    pos = text->find('\n', pos);
    while (pos != std::string::npos && pos + 1 < text->size()) {
        const std::size_t start = pos + 1;
        pos = text->find('\n', start);
        const std::string line =
            text->substr(start, pos == std::string::npos ? std::string::npos : pos - start);
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        keys_.emplace_back(line.substr(0, eq), eq + 1 < line.size() && line[eq + 1] == '\'');
    }
    return keys_;
}

std::vector<Finding> FileChecker::check(const std::string& file) {
    return file.find(".mcf") != std::string::npos ? checkConfig(file) : checkLut(file);
}

std::vector<Finding> FileChecker::checkConfig(const std::string& file) {
    std::vector<Finding> out;
    auto error = [&](int line, const std::string& key, const std::string& reason) {
        out.push_back(Finding{Severity::Error, file, line, key, reason});
    };
    auto warning = [&](int line, const std::string& key, const std::string& reason) {
        out.push_back(Finding{Severity::Warning, file, line, key, reason});
    };
    if (file.find(".mcf") == std::string::npos) {
        error(0, "", "the applet loads configuration files only when the name contains .mcf");
        return out;
    }
    ConfigFileReader r(file);
    if (!r.opened()) {
        error(0, "",
              ordinaryFile(file) || !std::filesystem::exists(file)
                  ? "cannot be opened (does it exist?)"
                  : "is not an ordinary file");
        return out;
    }
    const std::string refused = "the applet refuses the whole file";
    if (!r.headerText("Hersteller")) error(0, "Hersteller", "missing: " + refused);
    const std::string applet = board_.infoText(kInfoName);
    if (std::optional<KeyReading> typ = r.headerText("Typ"); !typ)
        error(0, "Typ", "missing: " + refused);
    else if (typ->text != applet)
        error(typ->line, "Typ",
              "the file is for " + inQuotes(typ->text) + ", not " + inQuotes(applet) + ": " +
                  refused);
    if (!r.headerNumber("AktivePort")) {
        const int header = r.lineContaining("[Kamerasektion]");
        error(header, "AktivePort",
              r.hasCarriageReturns() && header != 0
                  ? "not found, because the lines end in CR LF (Windows line ends) and the "
                    "applet then cannot find its header section [Kamerasektion]: " +
                        refused + "; save the file with plain line feeds"
                  : "missing from the header section [Kamerasektion]: " + refused);
    }
    const int port = r.lineContaining(kPortSection);
    if (port == 0) {
        error(0, kPortSection, "no parameter section [Port A]: " + refused);
        return out;
    }

    const auto& keys = configKeys();
    std::map<std::string, bool> known(keys.begin(), keys.end());
    std::map<std::string, int> firstLine;
    for (const auto& [key, line] : r.portLines()) {
        if (known.count(key) == 0) {
            std::string what = "not a parameter the applet loads; it is passed over";
            if (!key.empty() && isBlank(key.back()))
                what = "a blank before '=': the applet does not read this line";
            warning(line, key, what);
        } else if (auto [it, fresh] = firstLine.emplace(key, line); !fresh) {
            warning(line, key,
                    "appears again: the applet takes the value of line " +
                        std::to_string(it->second));
        }
    }

    std::optional<std::string> lutFile;
    std::optional<int32_t> lutType;
    int lutFileLine = 0;
    for (const auto& [key, isText] : keys) {
        std::optional<KeyReading> v = r.portKey(key);
        if (!v || (!isText && v->text.find("Error") != std::string::npos)) {
            error(0, key, "missing: " + refused + " (the values before it are kept, unchecked)");
            continue;
        }
        if (isText) {
            if (key == "FG_LUT_CUSTOM_FILE") {
                lutFile = v->text;
                lutFileLine = v->line;
            }
            continue;
        }
        const Parameter* p = board_.lookup(key);
        if (p == nullptr) continue; // a host parameter the host library stores itself
        Value value;
        value.type = p->type;
        if (p->type == ValueType::Double) {
            if (!cleanDouble(v->text))
                error(v->line, key,
                      inQuotes(v->text) + " is not a number: the applet reads it as " +
                          formatDouble(ConfigFileReader::doubleValue(v->text)));
            value.real = ConfigFileReader::doubleValue(v->text);
        } else {
            if (!cleanInteger(v->text))
                error(v->line, key,
                      inQuotes(v->text) + " is not a whole number: the applet reads it as " +
                          std::to_string(
                              static_cast<int32_t>(ConfigFileReader::integerValue(v->text))));
            const uint32_t raw = ConfigFileReader::integerValue(v->text);
            value.integer =
                p->type == ValueType::UInt32 ? int64_t{raw} : int64_t{static_cast<int32_t>(raw)};
        }
        if (key == "FG_LUT_TYPE") lutType = static_cast<int32_t>(value.integer);
        // Enumerations are judged by their values alone: setting the trigger state or the
        // table type here would start the trigger system or load a table on the board.
        if (p->type == ValueType::Enum) {
            bool listed = false;
            for (int32_t i = 0; p->node != nullptr && i < p->node->a.entryCount; ++i)
                listed |= p->node->c.entryValues[i] == value.integer;
            if (!listed && p->node != nullptr)
                error(v->line, key,
                      std::to_string(value.integer) + " is not one of " + entriesText(p->node) +
                          ": loading keeps it without a word");
            continue;
        }
        if (!p->writable()) continue;
        try {
            board_.set(*p, value, bareValueText(value));
        } catch (const BoardError& e) {
            error(v->line, key,
                  (e.explanation().empty()
                       ? "a set refuses " + bareValueText(value) + " (" + errorWords(e.code()) + ")"
                       : e.explanation()) +
                      ": loading keeps it without a word (a set gives error " +
                      std::to_string(e.code()) + ")");
        }
    }

    if (lutFile && lutFile->size() >= kLongestFileName)
        warning(lutFileLine, "FG_LUT_CUSTOM_FILE",
                "names longer than " + std::to_string(kLongestFileName - 1) +
                    " characters come back cut");
    const std::optional<int32_t> custom = board_.symbol("LUT_TYPE_CUSTOM");
    if (lutType && custom && *lutType == *custom && lutFile) {
        if (lutFile->empty()) {
            error(lutFileLine, "FG_LUT_CUSTOM_FILE",
                  "FG_LUT_TYPE asks for a user file but none is named: the table stays as it was");
        } else if (!std::filesystem::exists(*lutFile)) {
            error(lutFileLine, "FG_LUT_CUSTOM_FILE",
                  inQuotes(*lutFile) + " does not exist: the load succeeds and the table stays as "
                                       "it was");
        } else {
            std::vector<Finding> lut = checkLut(*lutFile);
            out.insert(out.end(), lut.begin(), lut.end());
        }
    }
    return out;
}

std::vector<Finding> FileChecker::checkLut(const std::string& file) {
    std::vector<Finding> out;
    auto add = [&](Severity s, int line, const std::string& key, const std::string& reason) {
        out.push_back(Finding{s, file, line, key, reason});
    };
    const uint32_t size = board_.lutEntries();
    const Parameter& field = board_.find("FG_LUT_VALUE");
    const int64_t lo = field.node != nullptr ? field.node->a.i32.min : 0;
    const int64_t hi = field.node != nullptr ? field.node->a.i32.max : 0;
    const LutReading r = readLutFile(file, size);
    if (!r.opened) {
        add(Severity::Error, 0, "",
            ordinaryFile(file) || !std::filesystem::exists(file)
                ? "cannot be opened (does it exist?)"
                : "is not an ordinary file");
        return out;
    }
    if (!r.hasElementCount) {
        add(Severity::Error, 0, "nrOfElements",
            "missing: the applet reads no entries and the table stays as it was");
        return out;
    }
    if (r.nrOfElements == 0) {
        add(Severity::Error, 0, "nrOfElements", "0: the applet reads no entries");
        return out;
    }
    if (r.nrOfElements < size)
        add(Severity::Warning, 0, "nrOfElements",
            std::to_string(r.nrOfElements) + ": only entries 0.." +
                std::to_string(r.nrOfElements - 1) + " are replaced, the others keep their values");
    else if (r.nrOfElements > size)
        add(Severity::Warning, 0, "nrOfElements",
            std::to_string(r.nrOfElements) + ": the table holds " + std::to_string(size) +
                " entries; the rest of the file is not read");
    if (r.sectionLine == 0) {
        add(Severity::Error, 0, kGraySection,
            "no [gray] section line: every entry the file announces becomes 0");
        return out;
    }
    std::size_t missingFrom = r.entries.size();
    for (std::size_t i = 0; i < r.entries.size(); ++i) {
        const std::string key = "entry " + std::to_string(i);
        if (r.lines[i] == 0) {
            missingFrom = i;
            break;
        }
        const int32_t value = static_cast<int32_t>(r.entries[i]);
        if (!cleanInteger(r.texts[i].substr(0, r.texts[i].find(';'))))
            add(Severity::Error, r.lines[i], key,
                inQuotes(r.texts[i].substr(0, r.texts[i].find_first_of(";\r\n"))) +
                    " is not a whole number: the applet reads it as " + std::to_string(value));
        else if (value < lo || value > hi)
            add(Severity::Error, r.lines[i], key,
                std::to_string(value) + " is outside " + std::to_string(lo) + ".." +
                    std::to_string(hi) + ": the board refuses the whole table");
    }
    // An entry's line found by containment: "11,5;" also holds "1,". Say where the reading
    // went astray once, at the first entry taken from another entry's line.
    for (std::size_t i = 0; i < missingFrom; ++i) {
        if (r.indexes[i] == static_cast<int64_t>(i)) continue;
        add(Severity::Error, r.lines[i], "entry " + std::to_string(i),
            "read from the line of entry " + std::to_string(r.indexes[i]) + ": the line of entry " +
                std::to_string(i) + " is missing or out of order, and the entries after it shift");
        break;
    }
    if (missingFrom < r.entries.size()) {
        const int after = missingFrom == 0 ? r.sectionLine : r.lines[missingFrom - 1];
        add(Severity::Error, after, "entry " + std::to_string(missingFrom),
            missingFrom + 1 == r.entries.size()
                ? "missing: the applet sets it to 0"
                : "missing, and with it every later entry: entries " + std::to_string(missingFrom) +
                      ".." + std::to_string(r.entries.size() - 1) +
                      " become 0 (is the file cut off, or out of order?)");
    }
    return out;
}

} // namespace pellvane::tools
