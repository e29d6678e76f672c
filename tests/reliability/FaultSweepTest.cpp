// Every register write a set performs, made to fail in turn. The rule a failed set must keep:
// the set answers the injected code, the parameter reads its old value, and nothing else has
// changed beyond the register writes that succeeded before the failure. Where a module's
// failure rule allows more (documented per group below), exactly that and no more is accepted.
#include "Snapshot.h"

#include <pellvane/parameters.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>

using namespace pvrel;

namespace {

constexpr int32_t kInjected = -31337;

// The legacy trigger parameters: each drives area trigger setters one after the other, and a
// failure leaves the area settings already made by the earlier calls as they are.
const std::set<int32_t> kLegacyIds = {8100,  8300,  8600,  10020, 8400,  8420,  8700,
                                      24060, 10050, 14001, 14002, 14003, 14004, 14020};

bool isAreaTrigger(const std::string& name) {
    if (name == "FG_TRIGGER_LEGACY_MODE" || name == "FG_TRIGGERMODE") return false;
    for (const char* prefix : {"FG_TRIGGER", "FG_AREATRIGGERMODE", "FG_SENDSOFTWARETRIGGER",
                               "FG_SOFTWARETRIGGER", "FG_MISSING_CAMERA_FRAME"})
        if (name.rfind(prefix, 0) == 0) return true;
    return false;
}

// A state to start from: sets made on a fresh board, each of which must succeed.
struct Context {
    const char* name;
    std::vector<std::pair<int32_t, int32_t>> sets;
};

// A set to sweep: one parameter, one accepted new value, from one starting state.
struct Case {
    std::string name;
    int32_t id = 0;
    Context context;
    std::vector<char> value;   // the bytes handed to the set
    std::vector<Write> writes; // what the set writes when nothing fails
    Snapshot before, after;
    std::set<int64_t> readOnly; // parameters whose set answers -12
};

class FaultSweep : public ::testing::Test {
protected:
    void SetUp() override { vb_reset(); }

    // A fresh applet on a fresh board, brought into the context; the log then starts empty.
    std::unique_ptr<AppletOnBoard> fresh(const Context& c) {
        vb_reset();
        auto applet = std::make_unique<AppletOnBoard>(*pvtest::Library::applet(), vb_board_open(0));
        EXPECT_TRUE(applet->opened()) << applet->entryError();
        for (auto [id, v] : c.sets)
            EXPECT_EQ(applet->setInt(id, v), 0) << c.name << ": " << id << " = " << v;
        vb_log_clear();
        return applet;
    }

    // Runs the case once per write of its clean run, that write failing; returns the faults
    // injected.
    int sweep(const Case& c,
              const std::function<void(const Case&, size_t, AppletOnBoard&, int32_t rc)>& check) {
        for (size_t k = 0; k < c.writes.size(); ++k) {
            auto applet = fresh(c.context);
            const auto nth = static_cast<uint32_t>(
                1 + std::count_if(c.writes.begin(), c.writes.begin() + static_cast<long>(k),
                                  [&](const Write& w) { return w.reg == c.writes[k].reg; }));
            if (vb_fail_write(c.writes[k].reg.c_str(), nth, kInjected) != 0) {
                ADD_FAILURE() << "no register " << c.writes[k].reg;
                continue;
            }
            const int32_t rc = applet->set(c.id, c.value.data());
            SCOPED_TRACE(c.name + " (" + c.context.name + "), write " + std::to_string(k + 1) +
                         " of " + std::to_string(c.writes.size()) + " failing: " + c.writes[k].reg);
            check(c, k, *applet, rc);
        }
        return static_cast<int>(c.writes.size());
    }

    // The general rule: the injected code, the old value, nothing else changed; `mayKeep`
    // names what a module's failure rule lets keep the value the complete set gave it.
    static void expectRestored(const Case& c, size_t k, AppletOnBoard& applet, int32_t rc,
                               const std::function<bool(int64_t)>& mayKeep) {
        EXPECT_EQ(rc, kInjected);
        // The log: exactly the writes before the failing one, then the failed write, then
        // nothing (the hardware is not rolled back, and nothing goes on after a failure).
        std::vector<Write> expected(c.writes.begin(), c.writes.begin() + static_cast<long>(k));
        expected.push_back(c.writes[k]);
        expected.back().result = kInjected;
        const std::vector<Write> log = loggedWrites();
        EXPECT_TRUE(log == expected) << log.size() << " writes logged, " << k + 1 << " expected";
        Snapshot now = takeSnapshot(applet);
        EXPECT_EQ(now.values[c.id], c.before.values.at(c.id)) << "the stored value";
        for (const auto& [key, before] : c.before.values) {
            if (key == c.id) continue;
            const Reading& value = now.values[key];
            if (value == before) continue;
            // A read-only parameter shows the hardware: the writes that succeeded may show.
            const bool hardware = c.readOnly.count(key) != 0;
            EXPECT_TRUE((hardware || mayKeep(key)) && value == c.after.values.at(key))
                << "parameter " << key << " changed";
        }
        for (const auto& [id, before] : c.before.nodes) {
            const NodeState& node = now.nodes[id];
            if (node == before) continue;
            EXPECT_TRUE(mayKeep(id) && node == c.after.nodes.at(id))
                << "information node " << id << " changed";
        }
    }

    std::string lutFile_;
    pvtest::TempDir dir_;
};

// Accepted new values to try for a parameter, from what its information node advertises.
std::vector<std::vector<char>> candidates(AppletOnBoard& applet, int32_t id,
                                          const ParameterInfoNode* node, const Reading& current,
                                          const std::string& lutFile, const std::string& saveFile) {
    auto bytes = [](auto v) {
        std::vector<char> b(16, 0);
        std::memcpy(b.data(), &v, sizeof v);
        return b;
    };
    auto text = [](const std::string& s) { return std::vector<char>(s.begin(), s.end() + 1); };
    std::vector<std::vector<char>> out;
    if (id == FG_LUT_CUSTOM_FILE) return {text(lutFile)};
    if (id == FG_LUT_SAVE_FILE) return {text(saveFile)};
    if (id == FG_LUT_VALUE) {
        uint32_t record[2] = {0, 5};
        applet.x().Fg_getParameterWithType(applet.fg(), id, record, 0, 4098);
        return {bytes(std::array<uint32_t, 2>{(record[0] + 1) % 4096, 5})};
    }
    int32_t cur32 = 0;
    double curD = 0;
    std::memcpy(&cur32, current.bytes.data(), sizeof cur32);
    std::memcpy(&curD, current.bytes.data(), sizeof curD);
    const int32_t kind = node != nullptr ? node->kind : PI_KIND_INT32;
    if (kind == PI_KIND_ENUM) {
        for (int32_t i = 0; i < node->a.entryCount; ++i)
            if (node->c.entryValues[i] != cur32) out.push_back(bytes(node->c.entryValues[i]));
    } else if (kind == PI_KIND_DOUBLE) {
        const double lo = node->a.minD, hi = node->b.maxD;
        for (double v : {curD * 2, curD / 2, curD + 1, (lo + hi) / 2, hi, lo, curD - 1})
            if (v != curD && v >= lo && v <= hi) out.push_back(bytes(v));
    } else if (kind == PI_KIND_INT32 || kind == PI_KIND_SINT32) {
        const int64_t lo = node != nullptr ? node->a.i32.min : 0;
        const int64_t hi = node != nullptr ? node->a.i32.max : 16;
        const int64_t inc = node != nullptr && node->b.i32.inc > 0 ? node->b.i32.inc : 1;
        for (int64_t v : {int64_t{cur32} + inc, int64_t{cur32} - inc,
                          lo + (hi - lo) / 2 / inc * inc, hi, lo, int64_t{cur32} + 2 * inc})
            if (v != cur32 && v >= lo && v <= hi) out.push_back(bytes(static_cast<int32_t>(v)));
    }
    return out;
}

bool isSubsequence(const std::vector<Write>& part, const std::vector<Write>& whole) {
    auto it = whole.begin();
    for (const Write& w : part) {
        it = std::find(it, whole.end(), w);
        if (it == whole.end()) return false;
        ++it;
    }
    return true;
}

// The parameters whose set the dispatch refuses as read only.
std::set<int64_t> readOnlyParameters(AppletOnBoard& applet,
                                     const std::vector<std::pair<int32_t, std::string>>& all) {
    std::set<int64_t> ids;
    for (const auto& [id, name] : all) {
        char zeros[16] = {};
        if (applet.set(id, zeros) == PV_ERR_NOT_WRITABLE_OR_UNBOUND) ids.insert(id);
    }
    return ids;
}

// Writes a lookup-table file in the gray form: entry i holds 4095 - i.
std::string writeLutFile(const std::filesystem::path& dir) {
    const auto path = dir / "inverse.lut";
    std::ofstream f(path);
    f << "# Lut data file v1.1\n\n\n\n[gray]\n\nid=3;\nnrOfElements=4096;\nformat=0;\nnumber=0;\n";
    for (int i = 0; i < 4096; ++i)
        f << i << "," << 4095 - i << ";\n";
    return path.string();
}

} // namespace

// Every writable parameter, with an accepted new value, from the state where the set writes
// registers: the default state, the legacy mode (for the legacy parameters) or a user table
// (for the user file name).
TEST_F(FaultSweep, EveryRegisterWriteOfEverySetFailingLeavesTheOldValue) {
    const std::string lutFile = writeLutFile(dir_.path());
    const std::string saveFile = (dir_.path() / "saved.lut").string();
    const std::vector<Context> contexts = {
        {"defaults", {}},
        {"legacy mode", {{FG_TRIGGER_LEGACY_MODE, 1}}},
        {"user table", {{FG_LUT_TYPE, 0}}},
    };

    int swept = 0, faults = 0, withoutWrites = 0;
    std::set<int32_t> writable;
    auto probe = fresh(contexts[0]);
    const int32_t count = probe->x().Fg_getNrOfParameter(probe->fg());
    std::vector<std::pair<int32_t, std::string>> parameters;
    for (int32_t i = 0; i < count; ++i)
        parameters.emplace_back(probe->x().Fg_getParameterId(probe->fg(), i),
                                probe->x().Fg_getParameterName(probe->fg(), i));
    const std::set<int64_t> readOnly = readOnlyParameters(*probe, parameters);
    probe.reset();

    for (const auto& [id, name] : parameters) {
        std::optional<Case> found;
        bool accepted = false;
        for (const Context& context : contexts) {
            auto applet = fresh(context);
            Snapshot before = takeSnapshot(*applet);
            auto nodes = applet->nodes();
            const ParameterInfoNode* node = nodes.count(id) ? nodes[id] : nullptr;
            auto values = candidates(*applet, id, node, before.values[id], lutFile, saveFile);
            applet.reset();
            for (const auto& value : values) {
                applet = fresh(context);
                const int32_t rc = applet->set(id, value.data());
                if (rc == PV_ERR_NOT_WRITABLE_OR_UNBOUND) break;
                if (rc != 0) continue;
                accepted = true;
                std::vector<Write> writes = loggedWrites();
                if (writes.empty()) continue;
                found =
                    Case{name, id, context, value, writes, before, takeSnapshot(*applet), readOnly};
                break;
            }
            if (found) break;
        }
        if (accepted) writable.insert(id);
        if (!found) {
            withoutWrites += accepted ? 1 : 0;
            continue;
        }
        ++swept;
        const Case& c = *found;
        if (id == FG_TRIGGER_LEGACY_MODE) {
            // Switching the legacy mode resets the area trigger system through its setters with
            // errors suppressed: every failure there is swallowed and the switch still happens.
            faults += sweep(c, [](const Case& c, size_t k, AppletOnBoard& applet, int32_t rc) {
                EXPECT_EQ(rc, 0);
                // The writes up to the failing one as in the clean run; after it, the failing
                // reset setter skips its own remaining writes and the reset goes on.
                std::vector<Write> expected = c.writes;
                expected[k].result = kInjected;
                const std::vector<Write> log = loggedWrites();
                EXPECT_TRUE(
                    isSubsequence(log, expected) && log.size() > k &&
                    std::equal(expected.begin(), expected.begin() + long(k) + 1, log.begin()));
                int32_t mode = -1;
                EXPECT_EQ(applet.getInt(c.id, mode), 0);
                EXPECT_EQ(mode, 1);
            });
            continue;
        }
        std::function<bool(int64_t)> mayKeep = [](int64_t) { return false; };
        if (kLegacyIds.count(id)) {
            // Area trigger settings made by the earlier calls of the same legacy set stay.
            std::set<int64_t> area;
            for (const auto& [pid, pname] : parameters)
                if (isAreaTrigger(pname)) area.insert(pid);
            mayKeep = [area](int64_t key) { return area.count(key) != 0; };
        } else if (id == FG_LUT_TYPE || id == FG_LUT_CUSTOM_FILE ||
                   (id >= 300002 && id <= 300005)) {
            // The table copy is not restored: after a failed table write it holds the new
            // contents, which the hardware may not have.
            mayKeep = [](int64_t key) { return key >= kLutKeyBase; };
        } else if (id == FG_AREATRIGGERMODE || id == FG_TRIGGERSTATE ||
                   id == FG_TRIGGERQUEUE_MODE) {
            // The generator restart inside a transition rewrites the frame rate with the value
            // its getter answers, which can change the stored rate in its last bits.
            mayKeep = [](int64_t key) { return key == 90; };
        }
        faults += sweep(c, [&](const Case& c, size_t k, AppletOnBoard& applet, int32_t rc) {
            expectRestored(c, k, applet, rc, mayKeep);
        });
    }
    RecordProperty("writable_parameters", static_cast<int>(writable.size()));
    RecordProperty("swept_parameters", swept);
    RecordProperty("faults_injected", faults);
    std::cout << "[ sweep    ] " << writable.size() << " writable parameters, " << swept
              << " with register writes, " << withoutWrites << " without; " << faults
              << " faults injected\n";
    EXPECT_GE(swept, 60);
}

// Every change of area trigger mode or state that does something to the hardware, from every
// starting mode and state: a failure half-way leaves the operations before it applied, the
// mode and state as they were, and the access values untouched.
TEST_F(FaultSweep, EveryTransitionWriteFailingLeavesModeAndStateAsTheyWere) {
    const int32_t modes[] = {ATM_GENERATOR, ATM_EXTERNAL, ATM_SOFTWARE};
    const int32_t states[] = {TS_ACTIVE, TS_ASYNC_STOP, TS_SYNC_STOP};
    int transitions = 0, faults = 0;
    std::set<int64_t> readOnly;
    {
        auto probe = fresh({"defaults", {}});
        std::vector<std::pair<int32_t, std::string>> parameters;
        for (int32_t i = 0; i < probe->x().Fg_getNrOfParameter(probe->fg()); ++i)
            parameters.emplace_back(probe->x().Fg_getParameterId(probe->fg(), i), "");
        readOnly = readOnlyParameters(*probe, parameters);
    }
    for (int32_t m0 : modes) {
        for (int32_t s0 : states) {
            const std::string from = "mode " + std::to_string(m0) + ", state " + std::to_string(s0);
            // The state goes first: a mode change while stopped in generator mode only stores.
            Context context{
                "",
                {{FG_TRIGGERSTATE, TS_SYNC_STOP}, {FG_AREATRIGGERMODE, m0}, {FG_TRIGGERSTATE, s0}}};
            std::vector<std::pair<int32_t, int32_t>> changes;
            for (int32_t m1 : modes)
                if (m1 != m0) changes.emplace_back(FG_AREATRIGGERMODE, m1);
            for (int32_t s1 : states)
                if (s1 != s0) changes.emplace_back(FG_TRIGGERSTATE, s1);
            for (auto [id, v] : changes) {
                auto applet = fresh(context);
                Snapshot before = takeSnapshot(*applet);
                ASSERT_EQ(applet->setInt(id, v), 0) << from;
                std::vector<Write> writes = loggedWrites();
                if (writes.empty()) continue;
                ++transitions;
                Case c{(id == FG_AREATRIGGERMODE ? "mode -> " : "state -> ") + std::to_string(v),
                       id,
                       context,
                       {},
                       writes,
                       before,
                       takeSnapshot(*applet),
                       readOnly};
                c.context.name = from.c_str();
                c.value.resize(8);
                std::memcpy(c.value.data(), &v, sizeof v);
                faults += sweep(c, [](const Case& c, size_t k, AppletOnBoard& applet, int32_t rc) {
                    expectRestored(c, k, applet, rc, [](int64_t key) { return key == 90; });
                });
            }
        }
    }
    std::cout << "[ sweep    ] " << transitions << " transitions, " << faults
              << " faults injected\n";
    EXPECT_GE(transitions, 20);
}

// Start-up applies every default with errors suppressed: whichever of its register writes
// fails, Std_entry still hands out a started applet that answers and closes cleanly.
TEST_F(FaultSweep, EveryStartupWriteFailingStillGivesAStartedApplet) {
    std::vector<Write> writes;
    {
        vb_reset();
        AppletOnBoard applet(*pvtest::Library::applet(), vb_board_open(0));
        ASSERT_TRUE(applet.opened());
        writes = loggedWrites();
    }
    ASSERT_GT(writes.size(), 100u);
    for (size_t k = 0; k < writes.size(); ++k) {
        vb_reset();
        const auto nth = static_cast<uint32_t>(
            1 + std::count_if(writes.begin(), writes.begin() + static_cast<long>(k),
                              [&](const Write& w) { return w.reg == writes[k].reg; }));
        ASSERT_EQ(vb_fail_write(writes[k].reg.c_str(), nth, kInjected), 0);
        {
            AppletOnBoard applet(*pvtest::Library::applet(), vb_board_open(0));
            ASSERT_TRUE(applet.opened()) << "write " << k << ": " << writes[k];
            EXPECT_EQ(applet.entryError(), 0) << "write " << k << ": " << writes[k];
            EXPECT_EQ(applet.x().Fg_getLastErrorNumber(applet.fg()), 0);
            int32_t width = 0;
            EXPECT_EQ(applet.getInt(100, width), 0);
            EXPECT_EQ(width, 1024);
            // The failed write happened and was the only one to fail.
            auto log = loggedWrites();
            EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                    [](const Write& w) { return w.result == kInjected; }),
                      1)
                << "write " << k << ": " << writes[k];
        }
        EXPECT_EQ(vb_open_host_handles(), 0);
        EXPECT_EQ(vb_loaded_images(), 0);
    }
    std::cout << "[ sweep    ] start-up: " << writes.size() << " faults injected\n";
}
