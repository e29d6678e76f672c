#include "Board.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace pvctl {

namespace {

// The applet's Info query for the value of a symbolic name (FG_GRAY16 → 1).
constexpr int32_t kInfoSymbolValue = 0x1100;
// The description query: a get of this identifier with the parameter's name in the buffer.
constexpr int32_t kDescriptionQuery = 24114;
// The longest description is 225 characters; names are far shorter.
constexpr std::size_t kDescriptionBuffer = 1024;
// String parameters (file names) are copied back without a size check by the applet, so pvctl
// reads them into a buffer far longer than any name it lets through.
constexpr std::size_t kMaxText = 4095;
constexpr std::size_t kTextBuffer = 64 * 1024;

ValueType typeOfKind(int32_t kind) {
    switch (kind) {
    case PI_KIND_INT32:
        return ValueType::UInt32;
    case PI_KIND_ENUM:
        return ValueType::Enum;
    case PI_KIND_STRING:
        return ValueType::Text;
    case PI_KIND_DOUBLE:
        return ValueType::Double;
    case PI_KIND_INT_FIELD:
        return ValueType::LutField;
    case PI_KIND_INT64:
        return ValueType::UInt64;
    case PI_KIND_SINT32:
        return ValueType::Int32;
    case PI_KIND_SINT64:
        return ValueType::Int64;
    default:
        return ValueType::HostServed;
    }
}

void collect(const ParameterInfoNode* n, const std::string& path,
             std::map<std::string, std::pair<const ParameterInfoNode*, std::string>>& out) {
    if (n->kind != PI_KIND_CATEGORY) {
        if (n->name != nullptr) out[n->name] = {n, path};
        return;
    }
    std::string here = path.empty() ? utf8(n->displayName) : path + " / " + utf8(n->displayName);
    for (int32_t i = 0; i < n->a.childCount; ++i)
        collect(n->b.children[i], here, out);
}

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A whole-text integer: optional sign, decimal or 0x hexadecimal.
std::optional<int64_t> parseInteger(const std::string& text) {
    std::string_view s = text;
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    uint64_t magnitude = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
    auto v = static_cast<int64_t>(magnitude);
    return negative ? -v : v;
}

} // namespace

std::string errorWords(int32_t code) {
    return Fg_getErrorDescription(nullptr, code);
}

const char* typeName(ValueType t) {
    switch (t) {
    case ValueType::UInt32:
        return "uint32";
    case ValueType::Int32:
        return "int32";
    case ValueType::Enum:
        return "enum";
    case ValueType::UInt64:
        return "uint64";
    case ValueType::Int64:
        return "int64";
    case ValueType::Double:
        return "double";
    case ValueType::Text:
        return "string";
    case ValueType::LutField:
        return "lut";
    case ValueType::HostServed:
        return "host";
    }
    return "?";
}

std::string accessText(const Parameter& p) {
    if (p.node == nullptr) return "ro";
    bool r = (p.node->access & PI_ACCESS_READ) != 0, w = (p.node->access & PI_ACCESS_WRITE) != 0;
    return r && w ? "rw" : r ? "ro" : w ? "wo" : "--";
}

std::string formatDouble(double v) {
    char buffer[32];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

std::string utf8(const char* latin1) {
    std::string out;
    for (const char* s = latin1; s != nullptr && *s != '\0'; ++s) {
        auto c = static_cast<unsigned char>(*s);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string enumSymbol(const ParameterInfoNode* node, int64_t value) {
    if (node == nullptr || node->kind != PI_KIND_ENUM) return "";
    for (int32_t i = 0; i < node->a.entryCount; ++i) {
        if (node->c.entryValues[i] == value && node->entrySymbols[i] != nullptr)
            return node->entrySymbols[i];
    }
    return "";
}

std::string valueText(const Parameter& p, const Value& v) {
    switch (v.type) {
    case ValueType::Double:
        return formatDouble(v.real);
    case ValueType::Text:
        return "\"" + v.text + "\"";
    case ValueType::LutField:
        return "(" + std::to_string(v.integer) + " entries, see `pvctl lut show`)";
    case ValueType::Enum: {
        std::string symbol = enumSymbol(p.node, v.integer);
        return std::to_string(v.integer) + (symbol.empty() ? "" : " (" + symbol + ")");
    }
    default:
        return std::to_string(v.integer);
    }
}

Board::Board(const std::string& applet, unsigned index) {
    fg_ = Fg_Init(applet.c_str(), index);
    if (fg_ == nullptr) {
        int32_t code = Fg_getLastErrorNumber(nullptr);
        throw BoardError(
            code, "cannot open board " + std::to_string(index) + " with the applet " + applet,
            code == FG_ERR_APPLET_NOT_FOUND
                ? "the applet library and the host library are found through "
                  "LD_LIBRARY_PATH, e.g. LD_LIBRARY_PATH=build/dev/lib:build/dev/"
                  "lib/host"
                : "");
    }
    std::map<std::string, std::pair<const ParameterInfoNode*, std::string>> nodes;
    for (const ParameterInfoNode* root : roots())
        collect(root, "", nodes);
    const int32_t count = Fg_getNrOfParameter(fg_);
    for (int32_t i = 0; i < count; ++i) {
        const char* name = Fg_getParameterName(fg_, i);
        int32_t id = Fg_getParameterId(fg_, i);
        if (name == nullptr || id < 0) continue; // names without an identifier of their own
        Parameter p{name, id, i, ValueType::HostServed, nullptr, ""};
        if (auto it = nodes.find(name); it != nodes.end()) {
            p.node = it->second.first;
            p.category = it->second.second;
            p.type = typeOfKind(p.node->kind);
        }
        byName_[p.name] = parameters_.size();
        parameters_.push_back(std::move(p));
    }
}

Board::~Board() {
    Fg_FreeGrabber(fg_);
}

void Board::check(int32_t code, const std::string& context) const {
    if (code != 0) throw BoardError(code, context);
}

std::string Board::infoText(int32_t query) const {
    const void* text = nullptr;
    if (Fg_getAppletInfo(fg_, query, 0, 0, nullptr, &text) < 0 || text == nullptr) return "";
    return static_cast<const char*>(text);
}

const Parameter& Board::find(const std::string& name) const {
    if (auto it = byName_.find(name); it != byName_.end()) return parameters_[it->second];
    std::string hint = "`pvctl list` shows every parameter";
    for (const std::string& guess : {upper(name), "FG_" + upper(name)}) {
        if (byName_.count(guess) != 0) hint = "did you mean " + guess + "?";
    }
    throw BoardError(kInvalidParameter, "unknown parameter " + name, hint);
}

std::vector<const ParameterInfoNode*> Board::roots() const {
    std::vector<const ParameterInfoNode*> out;
    for (const ParameterInfoNode* r = Fg_getParameterInfo(fg_, 0); r != nullptr;
         r = r->previousRoot)
        out.insert(out.begin(), r);
    return out;
}

Value Board::get(const Parameter& p) const {
    Value v;
    v.type = p.type;
    const std::string context = "get " + p.name;
    switch (p.type) {
    case ValueType::UInt32: {
        uint32_t x = 0;
        check(Fg_getParameterWithType(fg_, p.id, &x, 0, FG_PARAM_TYPE_UINT32_T), context);
        v.integer = x;
        break;
    }
    case ValueType::Int32:
    case ValueType::Enum: {
        int32_t x = 0;
        check(Fg_getParameterWithType(fg_, p.id, &x, 0, FG_PARAM_TYPE_INT32_T), context);
        v.integer = x;
        break;
    }
    case ValueType::Int64: {
        int64_t x = 0;
        check(Fg_getParameterWithType(fg_, p.id, &x, 0, FG_PARAM_TYPE_INT64_T), context);
        v.integer = x;
        break;
    }
    case ValueType::UInt64:
    case ValueType::HostServed: {
        // The host-served parameters are 32 or 64 bits wide; type code 4 clears all 8 bytes
        // first, so either width reads correctly.
        uint64_t x = 0;
        check(Fg_getParameterWithType(fg_, p.id, &x, 0, FG_PARAM_TYPE_UINT64_T), context);
        v.integer = static_cast<int64_t>(x);
        break;
    }
    case ValueType::Double:
        check(Fg_getParameterWithType(fg_, p.id, &v.real, 0, FG_PARAM_TYPE_DOUBLE), context);
        break;
    case ValueType::Text: {
        std::vector<char> buffer(kTextBuffer, '\0');
        check(Fg_getParameterWithType(fg_, p.id, buffer.data(), 0, FG_PARAM_TYPE_CHAR_PTR),
              context);
        buffer.back() = '\0';
        v.text = buffer.data();
        break;
    }
    case ValueType::LutField:
        v.integer = p.node->b.i32.inc; // the number of elements
        break;
    }
    return v;
}

std::optional<int32_t> Board::symbol(const std::string& name) const {
    int32_t r =
        Fg_getAppletInfo(fg_, kInfoSymbolValue, 0, 0, const_cast<char*>(name.c_str()), nullptr);
    if (r == kInvalidParameter) return std::nullopt;
    return r;
}

void Board::set(const Parameter& p, const std::string& text) {
    const std::string context = "set " + p.name + "=" + text;
    switch (p.type) {
    case ValueType::LutField:
        throw BoardError(kInvalidParameter, context,
                         "the lookup table is read and written with `pvctl lut`");
    case ValueType::Text:
        if (text.size() > kMaxText)
            throw BoardError(kValueNotAccepted, context,
                             "strings are at most " + std::to_string(kMaxText) + " characters");
        check(Fg_setParameterWithType(fg_, p.id, text.c_str(), 0, FG_PARAM_TYPE_CHAR_PTR), context);
        return;
    case ValueType::Double: {
        double d = 0;
        auto r = std::from_chars(text.data(), text.data() + text.size(), d);
        if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() ||
            !std::isfinite(d))
            throw BoardError(kValueNotAccepted, context, p.name + " takes a finite number");
        check(Fg_setParameterWithType(fg_, p.id, &d, 0, FG_PARAM_TYPE_DOUBLE), context);
        return;
    }
    default:
        break;
    }
    std::optional<int64_t> value = parseInteger(text);
    if (!value) {
        std::optional<int32_t> s = symbol(text);
        if (!s)
            throw BoardError(kInvalidParameter, context,
                             "'" + text +
                                 "' is neither a whole number nor a symbolic name the applet "
                                 "knows (`pvctl describe " +
                                 p.name + "` lists the values)");
        value = *s;
    }
    const int64_t v = *value;
    switch (p.type) {
    case ValueType::UInt32: {
        if (v < 0 || v > std::numeric_limits<uint32_t>::max())
            throw BoardError(kValueNotAccepted, context, "the value must fit 32 bits unsigned");
        auto x = static_cast<uint32_t>(v);
        check(Fg_setParameterWithType(fg_, p.id, &x, 0, FG_PARAM_TYPE_UINT32_T), context);
        return;
    }
    case ValueType::UInt64: {
        if (v < 0) throw BoardError(kValueNotAccepted, context, "the value must not be negative");
        auto x = static_cast<uint64_t>(v);
        check(Fg_setParameterWithType(fg_, p.id, &x, 0, FG_PARAM_TYPE_UINT64_T), context);
        return;
    }
    case ValueType::Int64:
        check(Fg_setParameterWithType(fg_, p.id, &v, 0, FG_PARAM_TYPE_INT64_T), context);
        return;
    default: {
        if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
            throw BoardError(kValueNotAccepted, context, "the value must fit 32 bits");
        auto x = static_cast<int32_t>(v);
        check(Fg_setParameterWithType(fg_, p.id, &x, 0, FG_PARAM_TYPE_INT32_T), context);
        return;
    }
    }
}

void Board::setInt(const std::string& name, int32_t value) {
    const Parameter& p = find(name);
    check(Fg_setParameterWithType(fg_, p.id, &value, 0, FG_PARAM_TYPE_INT32_T),
          "set " + name + "=" + std::to_string(value));
}

int32_t Board::getInt(const std::string& name) const {
    const Parameter& p = find(name);
    int32_t v = 0;
    check(Fg_getParameterWithType(fg_, p.id, &v, 0, FG_PARAM_TYPE_INT32_T), "get " + name);
    return v;
}

std::string Board::describe(const std::string& name) const {
    const Parameter& p = find(name);
    std::vector<char> buffer(kDescriptionBuffer, '\0');
    std::memcpy(buffer.data(), p.name.c_str(), p.name.size() + 1); // names are short
    check(Fg_getParameterWithType(fg_, kDescriptionQuery, buffer.data(), 0, FG_PARAM_TYPE_CHAR_PTR),
          "describe " + name);
    buffer.back() = '\0';
    return buffer.data();
}

uint32_t Board::lutEntry(uint32_t index) const {
    const Parameter& p = find("FG_LUT_VALUE");
    uint32_t entry[2] = {0, index}; // value, index
    check(Fg_getParameterWithType(fg_, p.id, entry, 0, FG_PARAM_TYPE_STRUCT_FIELDPARAMINT_ENTRY),
          "read lookup-table entry " + std::to_string(index));
    return entry[0];
}

std::string Board::xml() const {
    std::size_t size = 0;
    check(Fg_getParameterInfoXML(fg_, 0, nullptr, &size), "size of the GenApi document");
    std::vector<char> buffer(size + 1, '\0');
    check(Fg_getParameterInfoXML(fg_, 0, buffer.data(), &size), "GenApi document");
    buffer.back() = '\0';
    return buffer.data();
}

void Board::saveConfig(const std::string& file) const {
    int32_t r = Fg_saveConfig(fg_, file.c_str());
    if (r != 0)
        throw BoardError(r, "save " + file,
                         file.find(".mcf") == std::string::npos
                             ? "configuration file names must contain .mcf"
                             : "");
}

void Board::loadConfig(const std::string& file) {
    int32_t r = Fg_loadConfig(fg_, file.c_str());
    if (r != 0)
        throw BoardError(r, "load " + file,
                         file.find(".mcf") == std::string::npos
                             ? "configuration file names must contain .mcf"
                             : "");
}

} // namespace pvctl
