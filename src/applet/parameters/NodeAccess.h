// The words of an information node that change while the applet runs, and how they cross
// threads. Parameter sets move limits and access values (under the parameter lock) while a host
// walks the tree or the GenApi document is generated (without it): the setter stores the access
// value and the three limit words atomically, and readers that may run beside a set load them
// atomically. Every other word of a node is written once, before the tree is handed out.
#pragma once

#include "pellvane/ParameterInfoNode.h"

#include <atomic>
#include <cstddef>
#include <cstring>

namespace pellvane {

// Stores the access value and the limit words of `changed` into `node`, each atomically. Every
// limit union holds a 64-bit integer member at its full width.
inline void publishNodeChange(ParameterInfoNode& node, const ParameterInfoNode& changed) {
    std::atomic_ref<int32_t>(node.access).store(changed.access, std::memory_order_relaxed);
    std::atomic_ref<int64_t>(node.a.min64).store(changed.a.min64, std::memory_order_relaxed);
    std::atomic_ref<int64_t>(node.b.max64).store(changed.b.max64, std::memory_order_relaxed);
    std::atomic_ref<int64_t>(node.c.inc64).store(changed.c.inc64, std::memory_order_relaxed);
}

// A copy of `node` whose changing words were loaded atomically; the rest is copied as it is.
inline ParameterInfoNode snapshotNode(const ParameterInfoNode& node) {
    ParameterInfoNode copy;
    const auto* from = reinterpret_cast<const unsigned char*>(&node);
    auto* to = reinterpret_cast<unsigned char*>(&copy);
    constexpr std::size_t accessAt = offsetof(ParameterInfoNode, access);
    constexpr std::size_t afterAccess = accessAt + sizeof(int32_t);
    constexpr std::size_t limitsAt = offsetof(ParameterInfoNode, a);
    constexpr std::size_t afterLimits = offsetof(ParameterInfoNode, reserved64);
    std::memcpy(to, from, accessAt);
    std::memcpy(to + afterAccess, from + afterAccess, limitsAt - afterAccess);
    std::memcpy(to + afterLimits, from + afterLimits, sizeof(ParameterInfoNode) - afterLimits);
    auto& source = const_cast<ParameterInfoNode&>(node); // atomic_ref needs a non-const object
    copy.access = std::atomic_ref<int32_t>(source.access).load(std::memory_order_relaxed);
    copy.a.min64 = std::atomic_ref<int64_t>(source.a.min64).load(std::memory_order_relaxed);
    copy.b.max64 = std::atomic_ref<int64_t>(source.b.max64).load(std::memory_order_relaxed);
    copy.c.inc64 = std::atomic_ref<int64_t>(source.c.inc64).load(std::memory_order_relaxed);
    return copy;
}

} // namespace pellvane
