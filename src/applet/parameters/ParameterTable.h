// The applet's parameters as one table: name, identifier, value type, access, description, and
// the setter and getter that serve them. Every lookup the dispatch needs is derived from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

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
    Setter set = nullptr; // null: not served yet, the dispatch answers -2070
    Getter get = nullptr;
};

constexpr std::size_t kParameterCount = 130;
extern const std::array<ParameterDef, kParameterCount> kParameters;

// Identifier of the description query: a get whose buffer holds a parameter name.
constexpr int32_t kDescriptionQueryId = 24114;

// The parameter with this identifier, or null.
const ParameterDef* findParameter(int32_t id);

// True for the identifiers whose set answers -12: the read-only and host-served parameters and
// the description query.
bool isReadOnlyId(int32_t id);

} // namespace pellvane
