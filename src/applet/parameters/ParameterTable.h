// The applet's parameters as one table: name, identifier, value type, access, description, and
// the setter and getter that serve them. Every lookup the dispatch needs is derived from it.
#pragma once

#include <pellvane/parameters.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace pellvane {

class FgXeWrapperImpl;

enum class ValueType : uint8_t {
    Integer,     // 32-bit integer
    Enumeration, // 32-bit integer restricted to the entries of its information node
    Double,      // 64-bit IEEE double
    String,      // zero-terminated characters
    LutField,    // the lookup-table field record
    HostDefined, // served by the host library, which defines the type
};

enum class Access : uint8_t {
    ReadWrite,
    ReadOnly,   // setting reports -12
    HostServed, // setting reports -12; reading is forwarded to the host
};

// A setter validates and applies a value read from the caller's buffer; it throws an error code
// only when reportErrors is set. A getter fills the caller's buffer or throws.
using Setter = void (*)(FgXeWrapperImpl& applet, const void* value, bool reportErrors);
using Getter = void (*)(FgXeWrapperImpl& applet, void* value);

struct ParameterDef {
    const char* name;
    int32_t id;
    ValueType type;
    Access access;
    const char* description;
};

// An enumeration entry of an information node: display name, value, symbolic name.
struct EntryDef {
    const char* displayName;
    int32_t value;
    const char* symbol;
};

enum class RowKind : uint8_t { Integer, Double, Enumeration, String, Field };

// The information node of one parameter. Its category path names the parents, separated by
// "/"; a category is created when the first row below it needs it.
struct NodeRow {
    RowKind kind;
    const char* path;
    int32_t id;
    const char* name;
    const char* displayName;
    double min, max, inc;
    int32_t access, level;
    const char* unit;
    const EntryDef* entries;
    int32_t entryCount; // enumeration entries, or field elements
    const char* pattern;
};

// The value a parameter takes at start-up, applied through its setter.
struct DefaultValue {
    int32_t id;
    double value; // integers and enumerations are exact in a double
};

// How a configuration file keeps a parameter.
enum class FileForm : uint8_t { Number, Double, Text };

struct ConfigKey {
    const char* name;
    int32_t id;
    FileForm form;
    bool fromGetter; // timing values are saved as their getter answers (register-derived)
};

constexpr std::size_t kParameterCount = 130;

// The tables generated from parameters.toml: kParameters (registration order), kNodeRows
// (tree order), kDefaults (start-up order), kConfigKeys (save order), the enumeration entry
// sets and the access groups kGroup*.
#include "ParameterData.inc"

// The declared node of a parameter, and its start-up default; in a constant expression a
// parameter without one does not compile.
constexpr const NodeRow& declaredNode(int32_t id) {
    for (const NodeRow& row : kNodeRows)
        if (row.id == id) return row;
    throw "the parameter has no information node";
}
constexpr double declaredDefault(int32_t id) {
    for (const DefaultValue& d : kDefaults)
        if (d.id == id) return d.value;
    throw "the parameter has no default";
}
constexpr uint32_t declaredWord(int32_t id) {
    return static_cast<uint32_t>(declaredDefault(id));
}

// The setter and getter of one parameter. Each module (image path, simulator, lookup table,
// trigger, legacy trigger) lists the parameters it serves in a table of these; the dispatch
// joins them with the table above by identifier. A parameter that no module serves yet answers
// -2070 to set and get.
struct ParameterBinding {
    int32_t id;
    Setter set; // null for read-only parameters
    Getter get;
    // The field that holds the parameter's stored value: a 32-bit integer for integers and
    // enumerations, a double, or a std::string. Configuration files save it and load into it
    // directly (see fieldOf in SetterPattern.h); null for parameters that files do not keep.
    void* (*field)(FgXeWrapperImpl&) = nullptr;
};

std::span<const ParameterBinding> imagePathBindings();
std::span<const ParameterBinding> simulatorBindings();
std::span<const ParameterBinding> lookupTableBindings();
std::span<const ParameterBinding> triggerBindings();
std::span<const ParameterBinding> legacyTriggerBindings();

// Everything the dispatch knows about one identifier.
struct ParameterEntry {
    const ParameterDef* def;
    Setter set;
    Getter get;
    void* (*field)(FgXeWrapperImpl&);
};

// The parameter with this identifier, or null.
const ParameterDef* findParameter(int32_t id);

// The parameter with this name, or null.
const ParameterDef* findParameterByName(std::string_view name);

// The parameter with this identifier and its setter and getter; def is null for an identifier
// that is not a parameter.
ParameterEntry findEntry(int32_t id);

// True for the identifiers whose set answers -12: the read-only and host-served parameters and
// the description query.
bool isReadOnlyId(int32_t id);

} // namespace pellvane
