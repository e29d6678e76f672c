#include "parameters/ParameterInfoTree.h"

#include "host/ErrorCodes.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

namespace pellvane {

namespace {

// The records and everything they own are allocated with the C heap: a host that reads them
// sees plain C data, and nothing here depends on the C++ allocator of either side.
void* allocateZeroed(std::size_t count, std::size_t size) {
    void* p = std::calloc(count, size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

// The slots a category's child array has for `count` children: it grows by doubling, so that
// adding a child rarely moves the array. Only the first childCount slots are ever read.
std::size_t childCapacity(std::size_t count) {
    return count == 0 ? 0 : std::max<std::size_t>(8, std::bit_ceil(count));
}

char* copyString(const char* s) {
    if (s == nullptr) return nullptr;
    std::size_t n = std::strlen(s) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, s, n);
    return copy;
}

} // namespace

ParameterInfoTree::~ParameterInfoTree() {
    for (int32_t port = 0; port < kPorts; ++port)
        freePort(port);
}

ParameterInfoNode* ParameterInfoTree::allocate(int32_t port) {
    Port& p = ports_[static_cast<std::size_t>(port)];
    // Room for one more, grown geometrically; may throw before anything is allocated.
    if (p.nodes.size() == p.nodes.capacity())
        p.nodes.reserve(std::max<std::size_t>(64, 2 * p.nodes.size()));
    auto* node = static_cast<ParameterInfoNode*>(allocateZeroed(1, sizeof(ParameterInfoNode)));
    p.nodes.push_back(node);
    node->port = port;
    return node;
}

ParameterInfoNode* ParameterInfoTree::createCategory(int32_t port, ParameterInfoNode* parent,
                                                     const char* displayName) {
    if (!validPort(port) || ports_[static_cast<std::size_t>(port)].closed) return nullptr;
    if (parent != nullptr && parent->kind != PI_KIND_CATEGORY) return nullptr;
    if (parent == nullptr) {
        ParameterInfoNode* node = allocate(port);
        node->kind = PI_KIND_CATEGORY;
        node->displayName = copyString(displayName);
        Port& p = ports_[static_cast<std::size_t>(port)];
        node->previousRoot = p.root;
        if (p.root != nullptr) p.root->nextRoot = node;
        p.root = node;
        return node;
    }
    NodeAttributes a{displayName, nullptr, 0, 0, 0, nullptr, 0, port};
    ParameterInfoNode* node = createParameter(parent, a, PI_KIND_CATEGORY);
    if (node == nullptr) return nullptr;
    node->parentName = copyString(parent->displayName);
    node->depth = parent->depth + 1;
    return node;
}

ParameterInfoNode* ParameterInfoTree::createParameter(ParameterInfoNode* parent,
                                                      const NodeAttributes& a, int32_t kind) {
    if (parent == nullptr || parent->kind != PI_KIND_CATEGORY) return nullptr;
    int32_t port = a.port;
    if (!validPort(port) || ports_[static_cast<std::size_t>(port)].closed) return nullptr;

    // Grow the parent's child array first, so that a failed allocation leaves the tree as it
    // was (a larger array holding the same children is the same tree).
    auto count = static_cast<std::size_t>(parent->a.childCount);
    if (count == childCapacity(count)) {
        auto** grown = static_cast<ParameterInfoNode**>(std::realloc(
            parent->b.children, childCapacity(count + 1) * sizeof(ParameterInfoNode*)));
        if (grown == nullptr) throw std::bad_alloc();
        parent->b.children = grown;
    }
    ParameterInfoNode* node = allocate(port);
    node->kind = kind;
    node->index = parent->c.childCounter++;
    parent->a.childCount = static_cast<int32_t>(count + 1);
    parent->b.children[count] = node;

    if (kind != PI_KIND_CATEGORY) {
        node->displayName = copyString(a.displayName);
        node->name = copyString(a.name);
        node->unit = copyString(a.unit);
        node->access = a.access;
        node->level = a.level;
        node->published = a.published;
        node->id = a.id;
    } else {
        node->displayName = copyString(a.displayName);
    }
    return node;
}

ParameterInfoNode* ParameterInfoTree::createEnumeration(ParameterInfoNode* parent,
                                                        const NodeAttributes& a,
                                                        int32_t entryCount) {
    if (entryCount < 0) return nullptr;
    ParameterInfoNode* node = createParameter(parent, a, PI_KIND_ENUM);
    if (node == nullptr) return nullptr;
    auto n = static_cast<std::size_t>(entryCount);
    node->a.entryCount = entryCount;
    node->b.entryDisplayNames = static_cast<char**>(allocateZeroed(n + 1, sizeof(char*)));
    node->c.entryValues = static_cast<int32_t*>(allocateZeroed(n + 1, sizeof(int32_t)));
    node->entrySymbols = static_cast<char**>(allocateZeroed(n + 1, sizeof(char*)));
    return node;
}

ParameterInfoNode* ParameterInfoTree::createInteger(ParameterInfoNode* parent,
                                                    const NodeAttributes& a, int32_t kind,
                                                    int32_t min, int32_t max, int32_t inc) {
    ParameterInfoNode* node = createParameter(parent, a, kind);
    if (node == nullptr) return nullptr;
    node->a.i32.min = min;
    node->a.i32.max = max;
    node->b.i32.inc = inc;
    return node;
}

ParameterInfoNode* ParameterInfoTree::createInteger64(ParameterInfoNode* parent,
                                                      const NodeAttributes& a, int32_t kind,
                                                      int64_t min, int64_t max, int64_t inc) {
    ParameterInfoNode* node = createParameter(parent, a, kind);
    if (node == nullptr) return nullptr;
    node->a.min64 = min;
    node->b.max64 = max;
    node->c.inc64 = inc;
    return node;
}

ParameterInfoNode* ParameterInfoTree::createDouble(ParameterInfoNode* parent,
                                                   const NodeAttributes& a, double min, double max,
                                                   double inc) {
    ParameterInfoNode* node = createParameter(parent, a, PI_KIND_DOUBLE);
    if (node == nullptr) return nullptr;
    node->a.minD = min;
    node->b.maxD = max;
    node->c.incD = inc;
    return node;
}

ParameterInfoNode* ParameterInfoTree::createString(ParameterInfoNode* parent,
                                                   const NodeAttributes& a, const char* pattern) {
    ParameterInfoNode* node = createParameter(parent, a, PI_KIND_STRING);
    if (node == nullptr) return nullptr;
    node->b.pattern = copyString(pattern);
    return node;
}

ParameterInfoNode* ParameterInfoTree::createField(ParameterInfoNode* parent,
                                                  const NodeAttributes& a, int32_t elements,
                                                  int32_t min, int32_t max) {
    ParameterInfoNode* node = createParameter(parent, a, PI_KIND_INT_FIELD);
    if (node == nullptr) return nullptr;
    node->a.i32.min = min;
    node->a.i32.max = max;
    node->b.i32.inc = elements;
    node->b.i32.zero = 0;
    node->c.fieldMin = min;
    return node;
}

int32_t ParameterInfoTree::setEntry(ParameterInfoNode* node, int32_t position,
                                    const char* displayName, int32_t value,
                                    const char* symbolicName) {
    if (node == nullptr || node->kind != PI_KIND_ENUM || position < 0 ||
        position >= node->a.entryCount)
        return kInvalidParameter;
    char* display = nullptr;
    char* symbol = nullptr;
    try {
        display = copyString(displayName);
        symbol = copyString(symbolicName);
    } catch (const std::bad_alloc&) {
        std::free(display);
        return kBufferTooSmall;
    }
    auto i = static_cast<std::size_t>(position);
    std::free(node->b.entryDisplayNames[i]);
    std::free(node->entrySymbols[i]);
    node->b.entryDisplayNames[i] = display;
    node->entrySymbols[i] = symbol;
    node->c.entryValues[i] = value;
    return kOk;
}

ParameterInfoNode* ParameterInfoTree::root(int32_t port) const {
    return validPort(port) ? ports_[static_cast<std::size_t>(port)].root : nullptr;
}

void ParameterInfoTree::closePort(int32_t port) {
    if (validPort(port)) ports_[static_cast<std::size_t>(port)].closed = true;
}

void ParameterInfoTree::freeNode(ParameterInfoNode* node) {
    switch (node->kind) {
    case PI_KIND_CATEGORY:
        std::free(node->b.children);
        break;
    case PI_KIND_ENUM:
        for (int32_t i = 0; i < node->a.entryCount; ++i) {
            std::free(node->b.entryDisplayNames[i]);
            std::free(node->entrySymbols[i]);
        }
        std::free(node->b.entryDisplayNames);
        std::free(node->c.entryValues);
        std::free(node->entrySymbols);
        break;
    case PI_KIND_STRING:
        std::free(node->b.pattern);
        break;
    default:
        break;
    }
    std::free(node->displayName);
    std::free(node->name);
    std::free(node->parentName);
    std::free(node->unit);
    std::free(node);
}

void ParameterInfoTree::freePort(int32_t port) {
    if (!validPort(port)) return;
    Port& p = ports_[static_cast<std::size_t>(port)];
    for (ParameterInfoNode* node : p.nodes)
        freeNode(node);
    p.nodes.clear();
    p.root = nullptr;
}

} // namespace pellvane
