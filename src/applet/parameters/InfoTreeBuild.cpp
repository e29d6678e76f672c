// Builds the applet's information tree once, during start-up: the parameter nodes in the tree
// order of the declaration (the order gives every node its index), each category created when
// its first node needs it, then the debug sections.
#include "entry/FgXeWrapperImpl.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace pellvane {

namespace {

constexpr int32_t kPort = 0;

// Limits beyond 2^31 - 1 are stored as the unsigned 32-bit pattern the record carries.
int32_t int32Limit(double v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(v)));
}

} // namespace

void FgXeWrapperImpl::buildParameterInfo() {
    ParameterInfoTree& tree = parameterInfoTree();
    std::map<std::string_view, ParameterInfoNode*, std::less<>> categories;

    // The category of a path, created (parents first) when a row first needs it.
    auto categoryOf = [&](std::string_view path, auto& self) -> ParameterInfoNode* {
        auto it = categories.find(path);
        if (it != categories.end()) return it->second;
        auto slash = path.rfind('/');
        ParameterInfoNode* parent =
            slash == std::string_view::npos ? nullptr : self(path.substr(0, slash), self);
        std::string display(slash == std::string_view::npos ? path : path.substr(slash + 1));
        return categories[path] = tree.createCategory(kPort, parent, display.c_str());
    };

    for (const NodeRow& row : kNodeRows) {
        ParameterInfoNode* parent = categoryOf(row.path, categoryOf);
        NodeAttributes a{row.displayName, row.name, row.access, row.level, 1,
                         row.unit,        row.id,   kPort};
        ParameterInfoNode* node = nullptr;
        switch (row.kind) {
        case RowKind::Integer:
            node = tree.createInteger(parent, a, PI_KIND_INT32, int32Limit(row.min),
                                      int32Limit(row.max), int32Limit(row.inc));
            break;
        case RowKind::Double:
            node = tree.createDouble(parent, a, row.min, row.max, row.inc);
            break;
        case RowKind::Enumeration:
            node = tree.createEnumeration(parent, a, row.entryCount);
            for (int32_t i = 0; node != nullptr && i < row.entryCount; ++i) {
                // A failed copy leaves the entry empty; the tree stays usable.
                (void)tree.setEntry(node, i, row.entries[i].displayName, row.entries[i].value,
                                    row.entries[i].symbol);
            }
            break;
        case RowKind::String:
            node = tree.createString(parent, a, row.pattern);
            break;
        case RowKind::Field:
            node = tree.createField(parent, a, row.entryCount, int32Limit(row.min),
                                    int32Limit(row.max));
            break;
        }
        indexInfoNode(kPort, row.id, node);
    }

    buildRegisterAccessSection();
    buildPassThroughSection();
}

} // namespace pellvane
