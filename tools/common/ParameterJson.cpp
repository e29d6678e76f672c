#include "ParameterJson.h"

namespace pellvane::tools {

Json valueJson(const Value& v) {
    switch (v.type) {
    case ValueType::Double:
        return displayDouble(v.real);
    case ValueType::Text:
        return v.text;
    case ValueType::LutField:
        return nullptr; // the table is read entry by entry
    default:
        return v.integer;
    }
}

void addNodeJson(const Parameter& p, Json& j) {
    j["type"] = typeName(p.type);
    j["access"] = accessText(p);
    const ParameterInfoNode* n = p.node;
    if (n == nullptr) return;
    j["display"] = utf8(n->displayName);
    j["category"] = p.category;
    j["unit"] = n->unit != nullptr ? Json(utf8(n->unit)) : Json();
    switch (n->kind) {
    case PI_KIND_INT32:
        j["min"] = static_cast<uint32_t>(n->a.i32.min);
        j["max"] = static_cast<uint32_t>(n->a.i32.max);
        j["inc"] = n->b.i32.inc;
        break;
    case PI_KIND_SINT32:
        j["min"] = n->a.i32.min;
        j["max"] = n->a.i32.max;
        j["inc"] = n->b.i32.inc;
        break;
    case PI_KIND_INT64:
        j["min"] = static_cast<uint64_t>(n->a.min64);
        j["max"] = static_cast<uint64_t>(n->b.max64);
        j["inc"] = n->c.inc64;
        break;
    case PI_KIND_SINT64:
        j["min"] = n->a.min64;
        j["max"] = n->b.max64;
        j["inc"] = n->c.inc64;
        break;
    case PI_KIND_DOUBLE:
        j["min"] = displayDouble(n->a.minD);
        j["max"] = displayDouble(n->b.maxD);
        j["inc"] = displayDouble(n->c.incD);
        break;
    case PI_KIND_INT_FIELD:
        j["min"] = n->a.i32.min;
        j["max"] = n->a.i32.max;
        j["count"] = n->b.i32.inc;
        break;
    case PI_KIND_STRING:
        j["pattern"] = n->b.pattern != nullptr ? Json(n->b.pattern) : Json();
        break;
    case PI_KIND_ENUM: {
        Json entries = Json::array();
        for (int32_t i = 0; i < n->a.entryCount; ++i)
            entries.push_back({{"symbol", utf8(n->entrySymbols[i])},
                               {"value", n->c.entryValues[i]},
                               {"display", utf8(n->b.entryDisplayNames[i])}});
        j["entries"] = std::move(entries);
        break;
    }
    default:
        break;
    }
}

} // namespace pellvane::tools
