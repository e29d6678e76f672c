#include "parameters/ParameterInfoBuilderXML.h"

#include "parameters/NodeAccess.h"

#include <charconv>
#include <cstring>
#include <map>
#include <set>

namespace pellvane {

namespace {

constexpr const char* kGenApiNamespace = "http://www.genicam.org/GenApi/Version_1_0";
constexpr const char* kSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";
// After each complete feature block the format has a line feed followed by a carriage return.
constexpr const char* kBlockEnd = "\n\r";

const char* accessMode(int32_t access) {
    bool read = (access & PI_ACCESS_READ) != 0;
    bool write = (access & PI_ACCESS_WRITE) != 0;
    return read && write ? "RW" : read ? "RO" : write ? "WO" : "";
}

} // namespace

ParameterInfoBuilderXML::ParameterInfoBuilderXML(const ParameterInfoNode* latestRoot,
                                                 const char* modelName)
    : latestRoot_(latestRoot), modelName_(modelName != nullptr ? modelName : "") {}

std::string ParameterInfoBuilderXML::escape(const char* text) {
    std::string out;
    for (; text != nullptr && *text != '\0'; ++text) {
        switch (*text) {
        case '"':
            out += "&quot;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += *text;
            break;
        }
    }
    return out;
}

std::string ParameterInfoBuilderXML::sanitise(const char* name) {
    std::string out;
    if (name == nullptr) return out;
    for (std::size_t i = 0; name[i] != '\0'; ++i) {
        char c = name[i];
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        bool laterOnly = (c >= '0' && c <= '9') || c == '_';
        // Digits and underscores count only after the first character of the input.
        if (letter || (laterOnly && i > 0)) out += c;
    }
    return out;
}

// Twelve significant digits in the shortest general notation, independent of the locale.
std::string ParameterInfoBuilderXML::number(double value) {
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 12);
    return std::string(buffer, r.ptr);
}

std::string ParameterInfoBuilderXML::build() {
    out_ = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n\n";
    out_ += "<RegisterDescription\n";
    out_ += "ModelName=\"" + escape(modelName_.c_str()) + "\"\n";
    out_ += "VendorName=\"Corvane\"\n";
    out_ += "StandardNameSpace=\"None\"\n";
    out_ += "SchemaMajorVersion=\"1\"\nSchemaMinorVersion=\"0\"\nSchemaSubMinorVersion=\"1\"\n";
    out_ += "MajorVersion=\"1\"\nMinorVersion=\"0\"\nSubMinorVersion=\"0\"\n";
    out_ += "ProductGuid=\"0\"\nVersionGuid=\"0\"\n";
    out_ += std::string("xmlns=\"") + kGenApiNamespace + "\"\n";
    out_ += std::string("xmlns:xsi=\"") + kSchemaInstance + "\"\n";
    out_ += std::string("xsi:schemaLocation=\"") + kGenApiNamespace +
            " GenApiSchema_Version_1_0.xsd\">\n";

    // Roots from the most recent one back; a malformed chain must not loop.
    std::set<const ParameterInfoNode*> seen;
    for (const ParameterInfoNode* r = latestRoot_; r != nullptr && seen.insert(r).second;
         r = r->previousRoot)
        visit(r);

    writeCategory(root_, true);
    for (const Category& c : categories_)
        writeCategory(c, false);
    out_ += "<Port Name=\"DevicePort\"></Port>\n";
    out_ += "</RegisterDescription>\n";
    return std::move(out_);
}

void ParameterInfoBuilderXML::visit(const ParameterInfoNode* category) {
    if (category == nullptr || category->kind != PI_KIND_CATEGORY) return;
    for (int32_t i = 0; i < category->a.childCount; ++i) {
        const ParameterInfoNode* child = category->b.children[i];
        if (child == nullptr) continue;
        if (child->kind == PI_KIND_CATEGORY) {
            visit(child);
            continue;
        }
        if (child->published == 0) continue;
        if (category->displayName != nullptr &&
            std::strcmp(category->displayName, "Direct Register Access") == 0)
            continue;
        // Sets on other threads may move this node's limits or access meanwhile.
        writeFeature(snapshotNode(*child), *category);
    }
}

void ParameterInfoBuilderXML::writeRegisterBody(const ParameterInfoNode& node, int length) {
    if (node.id != 0) out_ += "<Address>" + std::to_string(node.id) + "</Address>\n";
    out_ += "<Length>" + std::to_string(length) + "</Length>\n";
    out_ += std::string("<AccessMode>") + accessMode(node.access) + "</AccessMode>\n";
    out_ += "<pPort>DevicePort</pPort>\n";
}

void ParameterInfoBuilderXML::writeFeature(const ParameterInfoNode& node,
                                           const ParameterInfoNode& parent) {
    const std::string n = escape(node.name);
    const std::string d = escape(node.displayName);
    const std::string description =
        d.empty() ? std::string() : "<Description>" + d + "</Description>\n";

    switch (node.kind) {
    case PI_KIND_INT32:
    case PI_KIND_SINT32: {
        // Unsigned integers carry their limits as unsigned 32-bit patterns.
        auto limit = [&](int32_t v) {
            return node.kind == PI_KIND_INT32 ? std::to_string(static_cast<uint32_t>(v))
                                              : std::to_string(v);
        };
        out_ += "<IntReg Name=\"" + n + "_Reg\">\n";
        writeRegisterBody(node, 4);
        out_ += "<Sign>Signed</Sign>\n<Endianess>LittleEndian</Endianess>\n</IntReg>\n";
        out_ += "<Integer Name='" + n + "'>\n" + description;
        out_ += "<pValue>" + n + "_Reg</pValue>\n";
        out_ += "<Min>" + limit(node.a.i32.min) + "</Min>\n";
        out_ += "<Max>" + limit(node.a.i32.max) + "</Max>\n";
        if (node.b.i32.inc != 0) out_ += "<Inc>" + limit(node.b.i32.inc) + "</Inc>\n";
        out_ += std::string("</Integer>") + kBlockEnd;
        break;
    }
    case PI_KIND_DOUBLE:
        out_ += "<FloatReg Name=\"" + n + "_Reg\">\n";
        writeRegisterBody(node, 8);
        out_ += "<Endianess>LittleEndian</Endianess>\n</FloatReg>\n";
        out_ += "<Float Name=\"" + n + "\">\n" + description;
        out_ += "<pValue>" + n + "_Reg</pValue>\n";
        out_ += "<Min>" + number(node.a.minD) + "</Min>\n";
        out_ += "<Max>" + number(node.b.maxD) + "</Max>\n";
        out_ += std::string("</Float>") + kBlockEnd;
        break;
    case PI_KIND_STRING:
        out_ += "<StringReg Name=\"" + n + "\">\n" + description;
        writeRegisterBody(node, 4096);
        out_ += std::string("</StringReg>") + kBlockEnd;
        break;
    case PI_KIND_ENUM: {
        // One entry per value, in ascending order; a later entry replaces an earlier one.
        std::map<int32_t, std::string> entries;
        for (int32_t i = 0; i < node.a.entryCount; ++i) {
            if (node.entrySymbols != nullptr && node.entrySymbols[i] != nullptr)
                entries[node.c.entryValues[i]] = escape(node.entrySymbols[i]);
        }
        out_ += "<Enumeration Name='" + n + "'>\n" + description;
        for (const auto& [value, symbol] : entries) {
            out_ += "<EnumEntry Name=\"" + symbol + "\">\n";
            out_ += "<Value>" + std::to_string(value) + "</Value>\n</EnumEntry>\n";
        }
        out_ += "<pValue>" + n + "_Reg</pValue>\n</Enumeration>\n\n";
        out_ += "<IntReg Name=\"" + n + "_Reg\">\n";
        writeRegisterBody(node, 4);
        out_ += "<Sign>Unsigned</Sign>\n<Endianess>LittleEndian</Endianess>\n";
        out_ += std::string("</IntReg>") + kBlockEnd;
        break;
    }
    default:
        // Fields and 64-bit integers have no register form here.
        return;
    }
    record(node, parent);
}

void ParameterInfoBuilderXML::record(const ParameterInfoNode& node,
                                     const ParameterInfoNode& parent) {
    std::string categoryName = sanitise(parent.displayName);
    std::string feature = sanitise(node.name);
    if (categoryName.empty()) {
        root_.features.push_back(feature);
        return;
    }
    for (Category& c : categories_) {
        if (c.name == categoryName) {
            c.features.push_back(feature);
            return;
        }
    }
    categories_.push_back(Category{categoryName, {feature}});
}

void ParameterInfoBuilderXML::writeCategory(const Category& c, bool root) {
    out_ += "<Category Name='" + c.name + "' " + (root ? "NameSpace='Standard'" : "") + " >\n";
    if (root) {
        for (const Category& sub : categories_)
            out_ += "<pFeature>" + sub.name + "</pFeature>\n";
    }
    for (const std::string& f : c.features)
        out_ += "<pFeature>" + f + "</pFeature>\n";
    out_ += "</Category>\n";
}

} // namespace pellvane
