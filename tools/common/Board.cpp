#include "Board.h"

#include "Explain.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace pellvane::tools {

namespace {

#ifdef _WIN32
constexpr const char* kLibraryPathHint =
    "Windows finds the applet beside the program or through PATH, and the host library "
    "through PATH (its folder host\\ of the build)";
#else
constexpr const char* kLibraryPathHint =
    "the applet library and the host library are found through LD_LIBRARY_PATH, e.g. "
    "LD_LIBRARY_PATH=build/dev/lib:build/dev/lib/host";
#endif

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

} // namespace

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
    // Values computed by the applet (a frame rate converted to a period and back) carry a few
    // units of rounding in their last place: 15 significant digits drop that noise, and are
    // kept only when they read back within those few units.
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 15);
    double back = 0;
    std::from_chars(buffer, r.ptr, back);
    if (std::isfinite(v) && std::fabs(back - v) <= 4 * std::fabs(std::nextafter(v, 0.0) - v))
        return std::string(buffer, r.ptr);
    r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general);
    return std::string(buffer, r.ptr);
}

double displayDouble(double v) {
    const std::string text = formatDouble(v);
    double back = v;
    std::from_chars(text.data(), text.data() + text.size(), back);
    return back;
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

std::string limitsText(const ParameterInfoNode* n) {
    if (n == nullptr) return "";
    auto range = [](const std::string& lo, const std::string& hi, const std::string& step) {
        return lo + ".." + hi + (step.empty() ? "" : " step " + step);
    };
    switch (n->kind) {
    case PI_KIND_INT32:
    case PI_KIND_SINT32: {
        if (n->a.i32.min == 0 && n->a.i32.max == 0 && n->b.i32.inc == 0) return "";
        auto text = [&](int32_t v) {
            return n->kind == PI_KIND_INT32 ? std::to_string(static_cast<uint32_t>(v))
                                            : std::to_string(v);
        };
        return range(text(n->a.i32.min), text(n->a.i32.max),
                     n->b.i32.inc > 1 ? std::to_string(n->b.i32.inc) : "");
    }
    case PI_KIND_INT64:
        return range(std::to_string(static_cast<uint64_t>(n->a.min64)),
                     std::to_string(static_cast<uint64_t>(n->b.max64)),
                     n->c.inc64 > 1 ? std::to_string(n->c.inc64) : "");
    case PI_KIND_SINT64:
        return range(std::to_string(n->a.min64), std::to_string(n->b.max64),
                     n->c.inc64 > 1 ? std::to_string(n->c.inc64) : "");
    case PI_KIND_DOUBLE:
        // An increment of the order of 2^-52 means "any value".
        return range(formatDouble(n->a.minD), formatDouble(n->b.maxD),
                     n->c.incD > 1e-9 ? formatDouble(n->c.incD) : "");
    case PI_KIND_INT_FIELD:
        return std::to_string(n->b.i32.inc) + " entries of " + std::to_string(n->a.i32.min) + ".." +
               std::to_string(n->a.i32.max);
    case PI_KIND_STRING:
        return n->b.pattern != nullptr ? std::string("files ") + n->b.pattern : "";
    default:
        return "";
    }
}

std::string entriesText(const ParameterInfoNode* n) {
    std::string out;
    if (n == nullptr || n->kind != PI_KIND_ENUM) return out;
    for (int32_t i = 0; i < n->a.entryCount; ++i) {
        if (i != 0) out += ", ";
        out += utf8(n->entrySymbols[i]) + "=" + std::to_string(n->c.entryValues[i]) + " \"" +
               utf8(n->b.entryDisplayNames[i]) + "\"";
    }
    return out;
}

std::string bareValueText(const Value& v) {
    return v.type == ValueType::Text     ? v.text
           : v.type == ValueType::Double ? formatDouble(v.real)
                                         : std::to_string(v.integer);
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

Board::Board(const std::string& applet, unsigned index) : index_(index) {
    fg_ = Fg_Init(applet.c_str(), index);
    if (fg_ == nullptr) {
        int32_t code = Fg_getLastErrorNumber(nullptr);
        throw BoardError(
            code, "cannot open board " + std::to_string(index) + " with the applet " + applet, "",
            code == FG_ERR_APPLET_NOT_FOUND ? kLibraryPathHint : "");
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

const Parameter* Board::lookup(const std::string& name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : &parameters_[it->second];
}

const Parameter& Board::find(const std::string& name) const {
    if (const Parameter* p = lookup(name)) return *p;
    std::string guess;
    for (const std::string& g : {upper(name), "FG_" + upper(name)})
        if (lookup(g) != nullptr) guess = g;
    throw ValueError(
        "the applet has no parameter " + name +
        (guess.empty() ? " (`pvctl list` shows them all)" : "; did you mean " + guess + "?"));
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

Value Board::parse(const Parameter& p, const std::string& text) const {
    Value v;
    v.type = p.type;
    switch (p.type) {
    case ValueType::LutField:
        throw ValueError(p.name + " is the lookup table: `pvctl lut` reads and writes it");
    case ValueType::Text:
        if (text.size() > kMaxText)
            throw ValueError(p.name + " takes at most " + std::to_string(kMaxText) + " characters");
        v.text = text;
        return v;
    case ValueType::Double: {
        auto r = std::from_chars(text.data(), text.data() + text.size(), v.real);
        if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() ||
            !std::isfinite(v.real))
            throw ValueError(p.name + " takes a number such as 29.97, not '" + text + "'");
        return v;
    }
    default:
        break;
    }
    std::optional<int64_t> value = parseInteger(text);
    if (!value) {
        std::optional<int32_t> s = symbol(text);
        if (!s) {
            std::string known = entriesText(p.node);
            throw ValueError(p.name + " takes " +
                             (p.type == ValueType::Enum
                                  ? "one of " + known
                                  : std::string("a whole number (decimal or 0x hexadecimal)")) +
                             ", not '" + text + "'");
        }
        value = *s;
    }
    v.integer = *value;
    const bool fits = p.type == ValueType::UInt32   ? v.integer >= 0 && v.integer <= UINT32_MAX
                      : p.type == ValueType::UInt64 ? v.integer >= 0
                      : p.type == ValueType::Int64
                          ? true
                          : v.integer >= INT32_MIN && v.integer <= INT32_MAX;
    if (!fits) {
        std::string limits = limitsText(p.node);
        throw ValueError(p.name + " takes " + (limits.empty() ? typeName(p.type) : limits) +
                         ", not " + text);
    }
    return v;
}

void Board::set(const Parameter& p, const Value& v, const std::string& text) {
    const std::string context = "set " + p.name + "=" + text;
    int32_t r = 0;
    switch (p.type) {
    case ValueType::Text:
        r = Fg_setParameterWithType(fg_, p.id, v.text.c_str(), 0, FG_PARAM_TYPE_CHAR_PTR);
        break;
    case ValueType::Double:
        r = Fg_setParameterWithType(fg_, p.id, &v.real, 0, FG_PARAM_TYPE_DOUBLE);
        break;
    case ValueType::UInt32: {
        auto x = static_cast<uint32_t>(v.integer);
        r = Fg_setParameterWithType(fg_, p.id, &x, 0, FG_PARAM_TYPE_UINT32_T);
        break;
    }
    case ValueType::UInt64:
    case ValueType::HostServed: {
        auto x = static_cast<uint64_t>(v.integer);
        r = Fg_setParameterWithType(fg_, p.id, &x, 0, FG_PARAM_TYPE_UINT64_T);
        break;
    }
    case ValueType::Int64:
        r = Fg_setParameterWithType(fg_, p.id, &v.integer, 0, FG_PARAM_TYPE_INT64_T);
        break;
    case ValueType::LutField:
        throw ValueError(p.name + " is the lookup table: `pvctl lut` reads and writes it");
    default: {
        auto x = static_cast<int32_t>(v.integer);
        r = Fg_setParameterWithType(fg_, p.id, &x, 0, FG_PARAM_TYPE_INT32_T);
        break;
    }
    }
    if (r != 0) {
        Explanation e = explainRefusal(*this, p, v, r);
        throw BoardError(r, context, e.why, e.hint);
    }
}

void Board::setInt(const std::string& name, int32_t value) {
    const Parameter& p = find(name);
    Value v;
    v.type = p.type;
    v.integer = value;
    set(p, v, std::to_string(value));
}

double Board::getDouble(const std::string& name) const {
    return get(find(name)).real;
}

int32_t Board::symbolValue(const std::string& name) const {
    std::optional<int32_t> v = symbol(name);
    if (!v)
        throw BoardError(kInvalidParameter, "the symbolic name " + name,
                         "the applet does not know it");
    return *v;
}

uint32_t Board::lutEntries() const {
    const Parameter& p = find("FG_LUT_VALUE");
    return p.node != nullptr && p.node->kind == PI_KIND_INT_FIELD
               ? static_cast<uint32_t>(p.node->b.i32.inc)
               : 0;
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
                             : "",
                         "");
}

void Board::loadConfig(const std::string& file) {
    int32_t r = Fg_loadConfig(fg_, file.c_str());
    if (r != 0)
        throw BoardError(r, "load " + file,
                         file.find(".mcf") == std::string::npos
                             ? "configuration file names must contain .mcf"
                             : "",
                         "`pvctl check " + file + "` tells what the applet finds in it");
}

} // namespace pellvane::tools
