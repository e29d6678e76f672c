// The information-tree sections of the two debug extensions: one node per design register
// (direct register access) and copies of the host's nodes for the pass-through parameters.
#include "entry/FgXeWrapperImpl.h"
#include "host/ErrorCodes.h"
#include "host/Runtime.h"

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace pellvane {

namespace {

constexpr int32_t kPort = 0;

// Finds the host node with this identifier, root by root and depth-first through the
// categories, and the chain of categories that leads to it (root first).
struct Found {
    const ParameterInfoNode* node = nullptr;
    std::vector<const ParameterInfoNode*> chain;
};

bool searchCategory(const ParameterInfoNode* category, int32_t id,
                    std::set<const ParameterInfoNode*>& visited, Found& found) {
    if (!visited.insert(category).second) return false;
    found.chain.push_back(category);
    for (int32_t i = 0; i < category->a.childCount; ++i) {
        const ParameterInfoNode* child = category->b.children[i];
        if (child == nullptr) continue;
        if (child->kind == PI_KIND_CATEGORY) {
            if (searchCategory(child, id, visited, found)) return true;
        } else if (child->id == id) {
            found.node = child;
            return true;
        }
    }
    found.chain.pop_back();
    return false;
}

Found findHostNode(const ParameterInfoNode* root, int32_t id) {
    Found found;
    std::set<const ParameterInfoNode*> visited;
    for (const ParameterInfoNode* r = root; r != nullptr && !visited.count(r);
         r = r->previousRoot) {
        if (r->kind == PI_KIND_CATEGORY && searchCategory(r, id, visited, found)) return found;
    }
    return {};
}

} // namespace

void FgXeWrapperImpl::buildRegisterAccessSection() {
    if (!registerAccessEnabled()) return;
    ParameterInfoTree& tree = parameterInfoTree();
    ParameterInfoNode* category = tree.createCategory(kPort, nullptr, "Direct Register Access");
    void* hap = hapHandle();
    int32_t count = runtime::registerCount(hap);
    for (int32_t i = 1; i <= count; ++i) {
        const char* name = runtime::registerName(hap, i);
        if (name == nullptr) continue;
        int32_t reg = runtime::registerId(hap, name);
        int32_t width = runtime::registerWidth(hap, reg);
        std::string paramName = std::string("DRA_") + name;
        std::string display = std::string(name) + " (" + std::to_string(width) + ")";
        NodeAttributes a{display.c_str(),
                         paramName.c_str(),
                         runtime::registerWritable(hap, reg) ? 7 : 1,
                         1,
                         1,
                         nullptr,
                         reg + kRegisterAccessBase,
                         kPort};
        ParameterInfoNode* node = nullptr;
        if (width > 32) {
            uint64_t max = width >= 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
            node =
                tree.createInteger64(category, a, PI_KIND_INT64, 0, static_cast<int64_t>(max), 1);
        } else {
            uint32_t max =
                width >= 32 ? ~uint32_t{0} : static_cast<uint32_t>((uint64_t{1} << width) - 1);
            node = tree.createInteger(category, a, PI_KIND_INT32, 0, static_cast<int32_t>(max), 1);
        }
        indexInfoNode(kPort, a.id, node);
    }
}

void FgXeWrapperImpl::buildPassThroughSection() {
    if (passThroughIds_.empty()) return;
    const ParameterInfoNode* hostRoot = hostParameterInfo();
    if (hostRoot == nullptr) return;
    ParameterInfoTree& tree = parameterInfoTree();
    ParameterInfoNode* top = tree.createCategory(kPort, nullptr, "Direct XE Access");

    // Categories reproduced so far, by (parent, display name), so that a host category is
    // created once per parent and reused.
    std::map<std::pair<ParameterInfoNode*, std::string>, ParameterInfoNode*> categories;

    for (const auto& [name, id] : passThroughIds_) {
        Found found = findHostNode(hostRoot, id - kPassThroughBase);
        if (found.node == nullptr || !isPassThroughKind(found.node->kind)) continue;
        ParameterInfoNode* parent = top;
        for (const ParameterInfoNode* hostCategory : found.chain) {
            std::string display = hostCategory->displayName ? hostCategory->displayName : "";
            auto key = std::make_pair(parent, display);
            auto it = categories.find(key);
            if (it == categories.end())
                it = categories.emplace(key, tree.createCategory(kPort, parent, display.c_str()))
                         .first;
            parent = it->second;
        }
        const ParameterInfoNode& h = *found.node;
        NodeAttributes a{h.displayName, name.c_str(), h.access, h.level,
                         h.published,   h.unit,       id,       kPort};
        ParameterInfoNode* node = nullptr;
        switch (h.kind) {
        case PI_KIND_INT32:
        case PI_KIND_SINT32:
            node = tree.createInteger(parent, a, h.kind, h.a.i32.min, h.a.i32.max, h.b.i32.inc);
            break;
        case PI_KIND_INT64:
        case PI_KIND_SINT64:
            node = tree.createInteger64(parent, a, h.kind, h.a.min64, h.b.max64, h.c.inc64);
            break;
        case PI_KIND_DOUBLE:
            node = tree.createDouble(parent, a, h.a.minD, h.b.maxD, h.c.incD);
            break;
        case PI_KIND_STRING:
            node = tree.createString(parent, a, h.b.pattern);
            break;
        case PI_KIND_ENUM:
            node = tree.createEnumeration(parent, a, h.a.entryCount);
            for (int32_t e = 0; node != nullptr && e < h.a.entryCount; ++e)
                (void)tree.setEntry(node, e, h.b.entryDisplayNames[e], h.c.entryValues[e],
                                    h.entrySymbols[e]);
            break;
        default:
            break;
        }
        indexInfoNode(kPort, id, node);
    }
}

} // namespace pellvane
