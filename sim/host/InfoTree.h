// The host's parameter-information tree: the records an application (or an applet offering
// host parameters as its own) walks through Fg_getParameterInfo.
#ifndef PELLVANE_SIM_HOST_INFO_TREE_H
#define PELLVANE_SIM_HOST_INFO_TREE_H

#include <pellvane/ParameterInfoNode.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kest {

struct EnumEntry {
    const char* displayName;
    const char* symbol;
    std::int32_t value;
};

// Owns every node, string and array it hands out; nothing moves once created, so the pointers
// stay valid for the life of the tree.
class InfoTree {
public:
    InfoTree() = default;
    InfoTree(const InfoTree&) = delete;
    InfoTree& operator=(const InfoTree&) = delete;

    // A root category when parent is null, else a sub-category.
    ParameterInfoNode* category(ParameterInfoNode* parent, const char* displayName);
    ParameterInfoNode* parameter(ParameterInfoNode* parent, std::int32_t kind,
                                 const char* displayName, const char* name, std::int32_t id,
                                 std::int32_t access, std::int32_t level, const char* unit);
    void enumEntries(ParameterInfoNode* node, const std::vector<EnumEntry>& entries);

    // The most recently created root category: the start of the walk through previousRoot.
    ParameterInfoNode* root() const { return root_; }

private:
    char* text(const char* s);
    ParameterInfoNode* add();
    void attach(ParameterInfoNode* parent, ParameterInfoNode* child);

    std::vector<std::unique_ptr<ParameterInfoNode>> nodes_;
    std::vector<std::unique_ptr<char[]>> strings_;
    std::vector<std::unique_ptr<ParameterInfoNode*[]>> childArrays_;
    std::vector<std::unique_ptr<char*[]>> nameArrays_;
    std::vector<std::unique_ptr<std::int32_t[]>> valueArrays_;
    ParameterInfoNode* root_ = nullptr;
};

} // namespace kest

#endif
