#include "InfoTree.h"

#include <cstring>

namespace kest {

char* InfoTree::text(const char* s) {
    if (s == nullptr) return nullptr;
    std::size_t n = std::strlen(s) + 1;
    strings_.push_back(std::make_unique<char[]>(n));
    std::memcpy(strings_.back().get(), s, n);
    return strings_.back().get();
}

ParameterInfoNode* InfoTree::add() {
    nodes_.push_back(std::make_unique<ParameterInfoNode>());
    ParameterInfoNode* node = nodes_.back().get();
    std::memset(node, 0, sizeof *node);
    return node;
}

// Children arrays grow by one slot per child, replacing the old array, so that the array a
// reader sees always has exactly childCount entries.
void InfoTree::attach(ParameterInfoNode* parent, ParameterInfoNode* child) {
    child->index = parent->c.childCounter++;
    std::int32_t count = parent->a.childCount + 1;
    auto children = std::make_unique<ParameterInfoNode*[]>(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count - 1; ++i)
        children[i] = parent->b.children[i];
    children[count - 1] = child;
    parent->b.children = children.get();
    parent->a.childCount = count;
    childArrays_.push_back(std::move(children));
}

ParameterInfoNode* InfoTree::category(ParameterInfoNode* parent, const char* displayName) {
    if (parent != nullptr && parent->kind != PI_KIND_CATEGORY) return nullptr;
    ParameterInfoNode* node = add();
    node->kind = PI_KIND_CATEGORY;
    node->displayName = text(displayName);
    if (parent == nullptr) {
        node->previousRoot = root_;
        if (root_ != nullptr) root_->nextRoot = node;
        root_ = node;
    } else {
        attach(parent, node);
        node->depth = parent->depth + 1;
        node->parentName = text(parent->displayName);
    }
    return node;
}

ParameterInfoNode* InfoTree::parameter(ParameterInfoNode* parent, std::int32_t kind,
                                       const char* displayName, const char* name, std::int32_t id,
                                       std::int32_t access, std::int32_t level, const char* unit) {
    if (parent == nullptr || parent->kind != PI_KIND_CATEGORY) return nullptr;
    ParameterInfoNode* node = add();
    node->kind = kind;
    node->displayName = text(displayName);
    node->name = text(name);
    node->id = id;
    node->access = access;
    node->level = level;
    node->published = 1;
    node->unit = text(unit);
    attach(parent, node);
    return node;
}

void InfoTree::enumEntries(ParameterInfoNode* node, const std::vector<EnumEntry>& entries) {
    std::size_t n = entries.size();
    auto displayNames = std::make_unique<char*[]>(n);
    auto symbols = std::make_unique<char*[]>(n);
    auto values = std::make_unique<std::int32_t[]>(n);
    for (std::size_t i = 0; i < n; ++i) {
        displayNames[i] = text(entries[i].displayName);
        symbols[i] = text(entries[i].symbol);
        values[i] = entries[i].value;
    }
    node->a.entryCount = static_cast<std::int32_t>(n);
    node->b.entryDisplayNames = displayNames.get();
    node->entrySymbols = symbols.get();
    node->c.entryValues = values.get();
    nameArrays_.push_back(std::move(displayNames));
    nameArrays_.push_back(std::move(symbols));
    valueArrays_.push_back(std::move(values));
}

} // namespace kest
