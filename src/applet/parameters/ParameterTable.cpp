#include "parameters/ParameterTable.h"

#include "host/ErrorCodes.h"

#include <algorithm>
#include <unordered_map>

namespace pellvane {

namespace {

// The table sorted by identifier, with each module's setter and getter joined in. The
// identifiers are searched in an array of their own: every set and get looks one up.
struct IdIndex {
    std::array<ParameterEntry, kParameterCount> byId{};
    std::array<int32_t, kParameterCount> ids{};
    IdIndex() {
        for (std::size_t i = 0; i < kParameterCount; ++i)
            byId[i] = ParameterEntry{&kParameters[i], nullptr, nullptr, nullptr};
        std::sort(byId.begin(), byId.end(), [](const ParameterEntry& a, const ParameterEntry& b) {
            return a.def->id < b.def->id;
        });
        for (std::size_t i = 0; i < kParameterCount; ++i)
            ids[i] = byId[i].def->id;
        for (auto bindings : {imagePathBindings(), simulatorBindings(), lookupTableBindings(),
                              triggerBindings(), legacyTriggerBindings()}) {
            for (const ParameterBinding& b : bindings) {
                ParameterEntry* e = find(b.id);
                if (e == nullptr) continue;
                e->set = b.set;
                e->get = b.get;
                e->field = b.field;
            }
        }
    }
    ParameterEntry* find(int32_t id) {
        auto it = std::lower_bound(ids.begin(), ids.end(), id);
        return (it != ids.end() && *it == id) ? &byId[static_cast<std::size_t>(it - ids.begin())]
                                              : nullptr;
    }
};

IdIndex& idIndex() {
    static IdIndex index;
    return index;
}

// The table by name: every applet object looks its names up here, so that none of them keeps
// a copy of the table's names and descriptions.
struct NameIndex {
    std::unordered_map<std::string_view, const ParameterDef*> byName;
    NameIndex() {
        byName.reserve(kParameterCount);
        for (const ParameterDef& p : kParameters)
            byName.emplace(p.name, &p);
    }
    const ParameterDef* find(std::string_view name) const {
        auto it = byName.find(name);
        return it != byName.end() ? it->second : nullptr;
    }
};

const NameIndex& nameIndex() {
    static const NameIndex index;
    return index;
}

} // namespace

ParameterEntry findEntry(int32_t id) {
    const ParameterEntry* e = idIndex().find(id);
    return e != nullptr ? *e : ParameterEntry{nullptr, nullptr, nullptr, nullptr};
}

const ParameterDef* findParameter(int32_t id) {
    return findEntry(id).def;
}

const ParameterDef* findParameterByName(std::string_view name) {
    return nameIndex().find(name);
}

bool isReadOnlyId(int32_t id) {
    if (id == kDescriptionQuery) return true;
    const ParameterDef* p = findParameter(id);
    return p != nullptr && p->access != Access::ReadWrite;
}

} // namespace pellvane
