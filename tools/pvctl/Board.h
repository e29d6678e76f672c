// pvctl's view of one board opened with an applet through the host library: parameters with
// their types and live information nodes, values read and written in each parameter's own
// type, and failures as exceptions that carry the system's error code.
#pragma once

#include <kestlib5/kestlib5.h>

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pvctl {

// A failure reported by the host library or the applet (or found by pvctl before a call, then
// with the code the applet would have given). `what()` says what was being done.
class BoardError : public std::runtime_error {
public:
    BoardError(int32_t code, const std::string& context, std::string hint = {})
        : std::runtime_error(context), code_(code), hint_(std::move(hint)) {}
    int32_t code() const { return code_; }
    const std::string& hint() const { return hint_; }

private:
    int32_t code_;
    std::string hint_;
};

// Codes pvctl uses for its own checks, the same the applet gives for the same faults.
inline constexpr int32_t kInvalidParameter = -2070;
inline constexpr int32_t kValueNotAccepted = -6000;

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
};

// A value read from a parameter.
struct Value {
    ValueType type = ValueType::Int32;
    int64_t integer = 0; // the integer kinds (UInt64 values above 2^63 do not occur here)
    double real = 0;
    std::string text;
};

// "rw", "ro", "wo" or "--" for an access value; the host-served parameters are "ro".
std::string accessText(const Parameter& p);

// Text of a double that reads back as the same double, independent of the locale.
std::string formatDouble(double v);

// A C string from the applet (Latin-1, e.g. the micro sign of "µs") as UTF-8.
std::string utf8(const char* latin1);

class Board {
public:
    // Opens board `index` with the applet library `applet`; throws BoardError on failure.
    Board(const std::string& applet, unsigned index);
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    Fg_Struct* handle() const { return fg_; }

    // The applet's text answer to an Info query ("" when it has none).
    std::string infoText(int32_t query) const;

    const std::vector<Parameter>& parameters() const { return parameters_; }
    // The parameter of that name; throws -2070 (with a hint) for a name the applet lacks.
    const Parameter& find(const std::string& name) const;

    // Roots of the information tree, oldest first.
    std::vector<const ParameterInfoNode*> roots() const;

    Value get(const Parameter& p) const;
    // Sets from text: numbers, or symbolic names such as FG_GRAY16 resolved through the
    // applet's symbolic-name query; doubles as doubles; strings as they are.
    void set(const Parameter& p, const std::string& text);
    void setInt(const std::string& name, int32_t value);
    int32_t getInt(const std::string& name) const;

    // The value of a symbolic name, or nothing when the applet does not know it.
    std::optional<int32_t> symbol(const std::string& name) const;
    std::string describe(const std::string& name) const;

    uint32_t lutEntry(uint32_t index) const;
    std::string xml() const;
    void saveConfig(const std::string& file) const;
    void loadConfig(const std::string& file);

    // Throws BoardError(code, context) when code is not 0.
    void check(int32_t code, const std::string& context) const;

private:
    Fg_Struct* fg_ = nullptr;
    std::vector<Parameter> parameters_;
    std::map<std::string, std::size_t> byName_;
};

// A value as text: numbers as numbers, an enumeration with its symbolic name after it
// ("1 (FG_GRAY16)"), the lookup table as a note.
std::string valueText(const Parameter& p, const Value& v);

// The symbolic name of an enumeration value, or "".
std::string enumSymbol(const ParameterInfoNode* node, int64_t value);

} // namespace pvctl
