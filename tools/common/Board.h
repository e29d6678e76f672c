// One board opened with an applet through the host library, as the tools see it: parameters
// by name with their types and live information nodes, values read and written in each
// parameter's own type, and failures as exceptions that carry the system's error code and, where
// the tools can tell more, an explanation in the user's words.
//
// Nothing here knows about a command line: pvctl, the demo, the tests and the studio share it.
#pragma once

#include "pellvane/ParameterInfoNode.h"

#include <kestlib5/kestlib5.h>

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pellvane::tools {

// A failure reported by the host library or the applet. `what()` says what was being done;
// `explanation` says why in the user's words (empty when there is nothing to add to the code's
// meaning), `hint` what to do about it.
class BoardError : public std::runtime_error {
public:
    BoardError(int32_t code, const std::string& context, std::string explanation = {},
               std::string hint = {})
        : std::runtime_error(context), code_(code), explanation_(std::move(explanation)),
          hint_(std::move(hint)) {}
    int32_t code() const { return code_; }
    const std::string& explanation() const { return explanation_; }
    const std::string& hint() const { return hint_; }

private:
    int32_t code_;
    std::string explanation_, hint_;
};

// A text that cannot be a value of a parameter (not a number, an unknown symbolic name, a name
// the applet lacks): a mistake of whoever wrote it, found before the applet is asked.
class ValueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Error codes the tools test for; the words come from the host library.
inline constexpr int32_t kCannotWrite = -12;
inline constexpr int32_t kInvalidParameter = -2070;
inline constexpr int32_t kDownscaleTiming = -2078;
inline constexpr int32_t kTiming = -2079;
inline constexpr int32_t kFileNotOpened = -2076;
inline constexpr int32_t kFileIo = -5001;
inline constexpr int32_t kValueNotAccepted = -6000;
inline constexpr int32_t kNotMultiple = -7080;

// Info queries of the applet.
inline constexpr int32_t kInfoDescription = 0x1000, kInfoDesign = 0x1010, kInfoProperties = 0x1020,
                         kInfoUuid = 0x413, kInfoName = 0x1050, kInfoVersion = 0x1060,
                         kInfoBuild = 0x1070;

// Words for an error code, from the host library.
std::string errorWords(int32_t code);

// How a parameter's value travels: which buffer and which type code.
enum class ValueType { UInt32, Int32, Enum, UInt64, Int64, Double, Text, LutField, HostServed };

const char* typeName(ValueType t);

struct Parameter {
    std::string name;
    int32_t id = 0;
    int32_t index = 0;
    ValueType type = ValueType::HostServed;
    const ParameterInfoNode* node = nullptr; // null for the host-served parameters
    std::string category;                    // "Trigger / Queue", empty without a node

    bool writable() const { return node != nullptr && (node->access & PI_ACCESS_WRITE) != 0; }
};

// A value read from a parameter, or one parsed from text for it.
struct Value {
    ValueType type = ValueType::Int32;
    int64_t integer = 0; // the integer kinds (UInt64 values above 2^63 do not occur here)
    double real = 0;
    std::string text;
};

// "rw", "ro", "wo" or "--" for an access value; the host-served parameters are "ro".
std::string accessText(const Parameter& p);

// The shortest text of a double, independent of the locale: at most 15 significant digits when
// they read back within a few units in the last place (8.000000000000002 prints as 8), else
// the shortest text that reads back exactly.
std::string formatDouble(double v);
// The double that formatDouble's text reads back as, for JSON.
double displayDouble(double v);

// A C string from the applet (Latin-1, e.g. the micro sign of "µs") as UTF-8.
std::string utf8(const char* latin1);

// Limits as a node gives them now ("16..16384 step 8"); "" when it has none.
std::string limitsText(const ParameterInfoNode* n);
// An enumeration's values: FG_GRAY=3 "Gray 8bit", FG_GRAY16=1 "Gray 16bit".
std::string entriesText(const ParameterInfoNode* n);
// The symbolic name of an enumeration value, or "".
std::string enumSymbol(const ParameterInfoNode* node, int64_t value);

// A whole-text integer: optional sign, decimal or 0x hexadecimal.
std::optional<int64_t> parseInteger(const std::string& text);

class Board {
public:
    // Opens board `index` with the applet library `applet`; throws BoardError on failure.
    Board(const std::string& applet, unsigned index);
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    Fg_Struct* handle() const { return fg_; }
    unsigned index() const { return index_; }

    // The applet's text answer to an Info query ("" when it has none).
    std::string infoText(int32_t query) const;

    const std::vector<Parameter>& parameters() const { return parameters_; }
    // The parameter of that name, or null.
    const Parameter* lookup(const std::string& name) const;
    // The parameter of that name; throws ValueError (with a guess) for a name the applet lacks.
    const Parameter& find(const std::string& name) const;

    // Roots of the information tree, oldest first.
    std::vector<const ParameterInfoNode*> roots() const;

    Value get(const Parameter& p) const;
    // The value a text stands for: numbers, or symbolic names such as FG_GRAY16 resolved
    // through the applet; doubles as doubles; strings as they are. Throws ValueError.
    Value parse(const Parameter& p, const std::string& text) const;
    // Writes a parsed value; a refusal throws BoardError with the explanation of explain().
    void set(const Parameter& p, const Value& v, const std::string& text);
    void set(const Parameter& p, const std::string& text) { set(p, parse(p, text), text); }
    void setInt(const std::string& name, int32_t value);
    int32_t getInt(const std::string& name) const;
    double getDouble(const std::string& name) const;

    // The value of a symbolic name, or nothing when the applet does not know it.
    std::optional<int32_t> symbol(const std::string& name) const;
    // The value of a symbolic name the tools rely on; throws BoardError when it is unknown.
    int32_t symbolValue(const std::string& name) const;
    std::string describe(const std::string& name) const;

    uint32_t lutEntry(uint32_t index) const;
    uint32_t lutEntries() const; // the table's length, from its information node
    std::string xml() const;
    void saveConfig(const std::string& file) const;
    void loadConfig(const std::string& file);

    // Throws BoardError(code, context) when code is not 0.
    void check(int32_t code, const std::string& context) const;

private:
    Fg_Struct* fg_ = nullptr;
    unsigned index_ = 0;
    std::vector<Parameter> parameters_;
    std::map<std::string, std::size_t> byName_;
};

// A value as text: numbers as numbers, an enumeration with its symbolic name after it
// ("1 (FG_GRAY16)"), the lookup table as a note.
std::string valueText(const Parameter& p, const Value& v);
// The bare value: numbers, the symbolic name's number, the text.
std::string bareValueText(const Value& v);

} // namespace pellvane::tools
