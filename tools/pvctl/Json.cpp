#include "Json.h"

#include <charconv>
#include <cmath>

namespace pvctl {

Json& Json::set(std::string key, Json value) {
    std::get<Object>(v_).emplace_back(std::move(key), std::move(value));
    return *this;
}

Json& Json::push(Json value) {
    std::get<Array>(v_).push_back(std::move(value));
    return *this;
}

namespace {

void quote(const std::string& s, std::string& out) {
    static const char* hex = "0123456789abcdef";
    out += '"';
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    out += '"';
}

} // namespace

std::string Json::dump() const {
    std::string out;
    struct Writer {
        std::string& out;
        void operator()(std::nullptr_t) const { out += "null"; }
        void operator()(bool b) const { out += b ? "true" : "false"; }
        void operator()(int64_t i) const { out += std::to_string(i); }
        void operator()(uint64_t u) const { out += std::to_string(u); }
        void operator()(double d) const {
            if (!std::isfinite(d)) {
                out += "null";
                return;
            }
            char buffer[32];
            auto r = std::to_chars(buffer, buffer + sizeof buffer, d);
            out.append(buffer, r.ptr);
        }
        void operator()(const std::string& s) const { quote(s, out); }
        void operator()(const Array& a) const {
            out += '[';
            for (std::size_t i = 0; i < a.size(); ++i) {
                if (i != 0) out += ',';
                out += a[i].dump();
            }
            out += ']';
        }
        void operator()(const Object& o) const {
            out += '{';
            for (std::size_t i = 0; i < o.size(); ++i) {
                if (i != 0) out += ',';
                quote(o[i].first, out);
                out += ':';
                out += o[i].second.dump();
            }
            out += '}';
        }
    };
    std::visit(Writer{out}, v_);
    return out;
}

} // namespace pvctl
