#include "Snapshot.h"

#include <cstring>

namespace pvrel {

namespace {

void collect(const ParameterInfoNode* category, std::map<int32_t, const ParameterInfoNode*>& out) {
    for (int32_t i = 0; i < category->a.childCount; ++i) {
        const ParameterInfoNode* child = category->b.children[i];
        if (child == nullptr) continue;
        if (child->kind == PI_KIND_CATEGORY)
            collect(child, out);
        else
            out[child->id] = child;
    }
}

bool hasNumberLimits(int32_t kind) {
    switch (kind) {
    case PI_KIND_INT32:
    case PI_KIND_SINT32:
    case PI_KIND_INT64:
    case PI_KIND_SINT64:
    case PI_KIND_DOUBLE:
    case PI_KIND_INT_FIELD:
        return true;
    default:
        return false;
    }
}

// Lookup-table entries compared in every snapshot: both ends and a stride through the middle.
std::vector<uint32_t> sampledLutIndices() {
    std::vector<uint32_t> indices;
    for (uint32_t i = 0; i < 4096; i += 61)
        indices.push_back(i);
    indices.push_back(4095);
    return indices;
}

} // namespace

AppletOnBoard::AppletOnBoard(const Exports& x, VbBoard* board) : x_(x) {
    fg_.applet = x_.Std_entry(board, &entryError_, 0);
}

AppletOnBoard::~AppletOnBoard() {
    if (fg_.applet != nullptr) x_.Fg_FreeGrabber(&fg_);
}

int32_t AppletOnBoard::getInt(int32_t id, int32_t& v) {
    return x_.Fg_getParameterWithType(&fg_, id, &v, 0, 1);
}

int32_t AppletOnBoard::getDouble(int32_t id, double& v) {
    return x_.Fg_getParameterWithType(&fg_, id, &v, 0, 5);
}

std::map<int32_t, const ParameterInfoNode*> AppletOnBoard::nodes() {
    std::map<int32_t, const ParameterInfoNode*> out;
    for (auto* root = static_cast<const ParameterInfoNode*>(x_.Fg_getParameterInfo(&fg_, 0));
         root != nullptr; root = root->previousRoot)
        collect(root, out);
    return out;
}

Snapshot takeSnapshot(AppletOnBoard& applet) {
    const Exports& x = applet.x();
    Snapshot s;
    const int32_t count = x.Fg_getNrOfParameter(applet.fg());
    for (int32_t i = 0; i < count; ++i) {
        const int32_t id = x.Fg_getParameterId(applet.fg(), i);
        if (id == FG_LUT_VALUE) continue;
        // Large enough for every string parameter; zeroed, so that what a get leaves alone
        // compares equal.
        std::array<char, 1024> buffer{};
        Reading r;
        r.result = x.Fg_getParameterWithType(applet.fg(), id, buffer.data(), 0, 2);
        r.bytes.assign(buffer.data(), strnlen(buffer.data(), buffer.size() - 1));
        if (r.bytes.size() < 8) r.bytes.assign(buffer.data(), 8);
        s.values[id] = r;
    }
    for (uint32_t index : sampledLutIndices()) {
        uint32_t record[2] = {0, index};
        Reading r;
        r.result = x.Fg_getParameterWithType(applet.fg(), FG_LUT_VALUE, record, 0, 4098);
        r.bytes.assign(reinterpret_cast<const char*>(record), sizeof record[0]);
        s.values[kLutKeyBase + index] = r;
    }
    for (const auto& [id, node] : applet.nodes()) {
        NodeState n;
        n.access = node->access;
        if (hasNumberLimits(node->kind)) {
            std::memcpy(&n.limits[0], &node->a, 8);
            std::memcpy(&n.limits[1], &node->b, 8);
            std::memcpy(&n.limits[2], &node->c, 8);
        }
        s.nodes[id] = n;
    }
    return s;
}

std::ostream& operator<<(std::ostream& os, const Write& w) {
    os << w.reg << "=" << w.value;
    if (w.kind == VB_WRITE_LUT_ENTRY) os << " [" << w.index << "]";
    if (w.kind == VB_WRITE_LUT_TABLE) os << " (table)";
    if (w.result != 0) os << " failing with " << w.result;
    return os;
}

std::vector<Write> loggedWrites() {
    std::vector<Write> writes;
    for (size_t i = 0; i < vb_log_count(); ++i) {
        VbWrite e{};
        if (vb_log_entry(i, &e) != 0) break;
        writes.push_back({e.name != nullptr ? e.name : "", e.kind, e.value, e.index, e.result});
    }
    return writes;
}

} // namespace pvrel
