// The parameter-information tree: the records a host walks to discover the applet's parameters.
//
// Nodes are plain C records (shared layout with the host) that never move once created. The
// tree owns them per port and frees them with every string and array they own.
#pragma once

#include "pellvane/ParameterInfoNode.h"

#include <array>
#include <cstdint>
#include <vector>

namespace pellvane {

// Attributes common to every parameter node.
struct NodeAttributes {
    const char* displayName;
    const char* name;
    int32_t access;
    int32_t level;
    int32_t published;
    const char* unit; // null: no unit
    int32_t id;
    int32_t port;
};

// The node kinds a host parameter may have to be offered through the applet (pass-through):
// the scalar, enumeration and string kinds, not fields.
constexpr bool isPassThroughKind(int32_t kind) {
    switch (kind) {
    case PI_KIND_INT32:
    case PI_KIND_ENUM:
    case PI_KIND_STRING:
    case PI_KIND_DOUBLE:
    case PI_KIND_INT64:
    case PI_KIND_SINT32:
    case PI_KIND_SINT64:
        return true;
    default:
        return false;
    }
}

class ParameterInfoTree {
public:
    static constexpr int32_t kPorts = 4;

    ParameterInfoTree() = default;
    ~ParameterInfoTree();
    ParameterInfoTree(const ParameterInfoTree&) = delete;
    ParameterInfoTree& operator=(const ParameterInfoTree&) = delete;

    // Every constructor returns null and creates nothing when the port is closed or outside
    // 0..3, or (for parameters and sub-categories) when the parent is null or not a category.
    ParameterInfoNode* createCategory(int32_t port, ParameterInfoNode* parent,
                                      const char* displayName);
    ParameterInfoNode* createEnumeration(ParameterInfoNode* parent, const NodeAttributes& a,
                                         int32_t entryCount);
    // Kind 1 or 11.
    ParameterInfoNode* createInteger(ParameterInfoNode* parent, const NodeAttributes& a,
                                     int32_t kind, int32_t min, int32_t max, int32_t inc);
    // Kind 9 or 12.
    ParameterInfoNode* createInteger64(ParameterInfoNode* parent, const NodeAttributes& a,
                                       int32_t kind, int64_t min, int64_t max, int64_t inc);
    ParameterInfoNode* createDouble(ParameterInfoNode* parent, const NodeAttributes& a, double min,
                                    double max, double inc);
    ParameterInfoNode* createString(ParameterInfoNode* parent, const NodeAttributes& a,
                                    const char* pattern);
    ParameterInfoNode* createField(ParameterInfoNode* parent, const NodeAttributes& a,
                                   int32_t elements, int32_t min, int32_t max);

    // Replaces the strings of one enumeration entry. 0, -500 when a copy cannot be made, -2070
    // for a node that is not an enumeration or a position outside its entries.
    int32_t setEntry(ParameterInfoNode* node, int32_t position, const char* displayName,
                     int32_t value, const char* symbolicName);

    // The most recently created root category of a port; null when there is none.
    ParameterInfoNode* root(int32_t port) const;

    void closePort(int32_t port);
    void freePort(int32_t port);

private:
    struct Port {
        ParameterInfoNode* root = nullptr;
        std::vector<ParameterInfoNode*> nodes;
        bool closed = false;
    };

    static bool validPort(int32_t port) { return port >= 0 && port < kPorts; }
    ParameterInfoNode* createParameter(ParameterInfoNode* parent, const NodeAttributes& a,
                                       int32_t kind);
    ParameterInfoNode* allocate(int32_t port);
    static void freeNode(ParameterInfoNode* node);

    std::array<Port, kPorts> ports_;
};

} // namespace pellvane
