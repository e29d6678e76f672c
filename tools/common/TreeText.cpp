#include "TreeText.h"

#include <charconv>
#include <vector>

namespace pellvane::tools {

namespace {

// Printable ASCII as it is; any other byte (the Latin-1 micro sign of "µs", say) as \xHH.
std::string escaped(const char* s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (; s != nullptr && *s != '\0'; ++s) {
        auto c = static_cast<unsigned char>(*s);
        if (c >= 32 && c < 127 && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string quoted(const char* s) {
    return s == nullptr ? "-" : "\"" + escaped(s) + "\"";
}

// Shortest exact form is not wanted here: 17 significant digits, like printf's %.17g, but
// without depending on the process locale.
std::string number(double v) {
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 17);
    return std::string(buffer, r.ptr);
}

void describe(const ParameterInfoNode* n, int depth, const TreeTextMask* mask, std::string& out) {
    std::string line(static_cast<std::size_t>(depth) * 2, ' ');
    if (n->kind == PI_KIND_CATEGORY) {
        line += "category " + quoted(n->displayName) +
                " index=" + (n->depth == 0 ? std::string("-") : std::to_string(n->index)) +
                " depth=" + std::to_string(n->depth) + " parent=" + quoted(n->parentName) +
                " children=" + std::to_string(n->a.childCount);
        out += line + "\n";
        for (int32_t i = 0; i < n->a.childCount; ++i)
            describe(n->b.children[i], depth + 1, mask, out);
        return;
    }
    bool hideAccess = mask != nullptr && mask->access.count(n->id) != 0;
    bool hideLimits = mask != nullptr && mask->limits.count(n->id) != 0;
    line += "kind=" + std::to_string(n->kind) + " " + (n->name ? escaped(n->name) : "-") + " " +
            quoted(n->displayName) + " index=" + std::to_string(n->index) +
            " id=" + std::to_string(n->id) +
            " access=" + (hideAccess ? std::string("*") : std::to_string(n->access)) +
            " level=" + std::to_string(n->level) + " published=" + std::to_string(n->published) +
            " unit=" + quoted(n->unit);
    switch (n->kind) {
    case PI_KIND_INT32:
    case PI_KIND_SINT32:
        line += hideLimits ? std::string(" min=* max=*")
                           : " min=" + std::to_string(n->a.i32.min) +
                                 " max=" + std::to_string(n->a.i32.max);
        line += " inc=" + std::to_string(n->b.i32.inc);
        break;
    case PI_KIND_INT64:
    case PI_KIND_SINT64:
        line += hideLimits
                    ? std::string(" min=* max=*")
                    : " min=" + std::to_string(n->a.min64) + " max=" + std::to_string(n->b.max64);
        line += " inc=" + std::to_string(n->c.inc64);
        break;
    case PI_KIND_DOUBLE:
        line += hideLimits ? std::string(" min=* max=*")
                           : " min=" + number(n->a.minD) + " max=" + number(n->b.maxD);
        line += " inc=" + number(n->c.incD);
        break;
    case PI_KIND_ENUM:
        line += " entries=[";
        for (int32_t i = 0; i < n->a.entryCount; ++i) {
            if (i > 0) line += ", ";
            line += quoted(n->b.entryDisplayNames[i]) + "=" + std::to_string(n->c.entryValues[i]) +
                    "/" + (n->entrySymbols[i] ? escaped(n->entrySymbols[i]) : "-");
        }
        line += "]";
        break;
    case PI_KIND_STRING:
        line += " pattern=" + quoted(n->b.pattern);
        break;
    case PI_KIND_INT_FIELD:
        line += " elements=" + std::to_string(n->b.i32.inc) +
                " min=" + std::to_string(n->a.i32.min) + " max=" + std::to_string(n->a.i32.max);
        break;
    default:
        break;
    }
    out += line + "\n";
}

} // namespace

std::string describeTree(const ParameterInfoNode* latestRoot, const TreeTextMask* mask) {
    std::vector<const ParameterInfoNode*> roots;
    for (const ParameterInfoNode* r = latestRoot; r != nullptr; r = r->previousRoot)
        roots.push_back(r);
    std::string out;
    for (auto it = roots.rbegin(); it != roots.rend(); ++it)
        describe(*it, 0, mask, out);
    return out;
}

} // namespace pellvane::tools
