// The replacement event list of the runtime: one list for every image, owned here.
#include "RuntimeEvents.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct EventList {
    std::vector<std::string> names;
    std::vector<vboard::EventRecord> records;
};

struct State {
    std::mutex mutex;
    std::unique_ptr<EventList> current; // null: the designs' own lists
    // Lists replaced without being released: their names were blanked in place, as a runtime
    // that rewrites its list would leave them, and the memory stays readable until restore.
    std::vector<std::unique_ptr<EventList>> retired;
};

State& state() {
    static State s;
    return s;
}

// Takes the current list out of service: blanked and kept, or freed.
void retire(State& s, bool release) {
    if (!s.current) return;
    if (release) {
        s.current.reset();
        return;
    }
    for (std::string& name : s.current->names)
        std::fill(name.begin(), name.end(), '\0');
    s.retired.push_back(std::move(s.current));
}

} // namespace

VB_API int32_t vb_runtime_events_replace(const char* const* names, const int32_t* published,
                                         size_t count, int32_t release) {
    if (count > 64 || (count > 0 && names == nullptr)) return -1;
    for (size_t i = 0; i < count; ++i)
        if (names[i] == nullptr) return -1;
    auto list = std::make_unique<EventList>();
    list->names.reserve(count);
    for (size_t i = 0; i < count; ++i)
        list->names.emplace_back(names[i]);
    list->records.resize(count);
    for (size_t i = 0; i < count; ++i) {
        list->records[i].name = list->names[i].c_str();
        list->records[i].published = published == nullptr || published[i] != 0 ? 1 : 0;
    }
    State& s = state();
    std::lock_guard lock(s.mutex);
    retire(s, release != 0);
    s.current = std::move(list);
    return 0;
}

VB_API void vb_runtime_events_restore(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.current.reset();
    s.retired.clear();
}

VBM_API std::int32_t vbm_runtime_event(std::size_t index, const vboard::EventRecord** record) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.current) return 0;
    *record = index < s.current->records.size() ? &s.current->records[index] : nullptr;
    return 1;
}
