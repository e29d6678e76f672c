// Many threads on one applet, and applets on several boards at once. Run under
// ThreadSanitizer (the tsan preset), a data race anywhere on these paths fails the suite.
#include "Snapshot.h"

#include <pellvane/parameters.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

using namespace pvrel;

namespace {

constexpr int kIterations = 120;

// moment (a width that does not fit the offset another thread set, a rate against a pulse).
bool documented(int32_t rc) {
    return rc == 0 || rc == -6000 || rc == -7080 || rc == -2079 || rc == -2078;
}

// Reads the tree the way a host does while other threads set parameters: the words that
// change at run time (access and limits) are read atomically.
int64_t walk(const ParameterInfoNode* category) {
    int64_t sum = 0;
    for (int32_t i = 0; i < category->a.childCount; ++i) {
        const ParameterInfoNode* child = category->b.children[i];
        if (child->kind == PI_KIND_CATEGORY) {
            sum += walk(child);
            continue;
        }
        auto* node = const_cast<ParameterInfoNode*>(child);
        sum += std::atomic_ref<int32_t>(node->access).load(std::memory_order_relaxed);
        sum += std::atomic_ref<int64_t>(node->a.min64).load(std::memory_order_relaxed) & 0xff;
        sum += std::atomic_ref<int64_t>(node->b.max64).load(std::memory_order_relaxed) & 0xff;
    }
    return sum;
}

// One applet under a mixed load; returns the number of calls made.
int64_t hammer(AppletOnBoard& applet, int thread, std::atomic<int>& failures) {
    const Exports& x = applet.x();
    int64_t calls = 0;
    auto expect = [&](bool ok) {
        ++calls;
        if (!ok) failures.fetch_add(1);
    };
    for (int i = 0; i < kIterations; ++i) {
        switch ((thread + i) % 5) {
        case 0: { // region of interest: width and offset limit each other
            expect(documented(applet.setInt(FG_WIDTH, 512 + 8 * (i % 64))));
            expect(documented(applet.setInt(FG_XOFFSET, 8 * (i % 32))));
            int32_t w = 0;
            expect(applet.getInt(FG_WIDTH, w) == 0 && w >= 16);
            break;
        }
        case 1: { // trigger: rate, state changes with their transitions
            expect(documented(applet.setDouble(FG_TRIGGER_FRAMESPERSECOND, 5.0 + i % 50)));
            expect(documented(applet.setInt(FG_TRIGGERSTATE, i % 3)));
            expect(documented(applet.setInt(FG_AREATRIGGERMODE, (i % 2) != 0 ? 1 : 4)));
            double f = 0;
            expect(applet.getDouble(FG_TRIGGER_FRAMESPERSECOND, f) == 0 && f > 0);
            break;
        }
        case 2: { // lookup table and simulator: whole-table writes and limit updates
            expect(documented(applet.setDouble(FG_PROCESSING_GAIN, 1.0 + (i % 8) / 4.0)));
            expect(documented(applet.setDouble(FG_GEN_FREQ, 20.0 + i % 40)));
            break;
        }
        case 3: { // GenApi description: size query, then the document
            size_t size = 0;
            expect(x.Fg_getParameterInfoXML(applet.fg(), 0, nullptr, &size) == 0 && size > 1000);
            std::string buffer(size + 4096, '\0');
            size = buffer.size();
            expect(x.Fg_getParameterInfoXML(applet.fg(), 0, buffer.data(), &size) == 0);
            break;
        }
        case 4: { // information tree, enumeration, events
            auto* root =
                static_cast<const ParameterInfoNode*>(x.Fg_getParameterInfo(applet.fg(), 0));
            expect(root != nullptr);
            for (; root != nullptr; root = root->previousRoot)
                expect(walk(root) > 0);
            const int32_t n = x.Fg_getNrOfParameter(applet.fg());
            const char* name = x.Fg_getParameterName(applet.fg(), i % n);
            expect(name != nullptr && x.Fg_getParameterIdByName(applet.fg(), name) ==
                                          x.Fg_getParameterId(applet.fg(), i % n));
            expect(x.Fg_getEventMask(applet.fg(), "FG_OVERFLOW_CAM0") != 0);
            break;
        }
        }
        // The last error is always one of the documented codes (or the tree's own answers).
        const int32_t last = x.Fg_getLastErrorNumber(applet.fg());
        expect(documented(last) || last == -2070);
    }
    return calls;
}

} // namespace

TEST(Concurrency, ManyThreadsOnOneApplet) {
    vb_reset();
    AppletOnBoard applet(*pvtest::Library::applet(), vb_board_open(0));
    ASSERT_TRUE(applet.opened());
    constexpr int kThreads = 6;
    std::atomic<int> failures{0};
    std::atomic<int64_t> calls{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { calls += hammer(applet, t, failures); });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    // Still consistent afterwards: the offset and the width fit together.
    int32_t w = 0, xo = 0;
    ASSERT_EQ(applet.getInt(FG_WIDTH, w), 0);
    ASSERT_EQ(applet.getInt(FG_XOFFSET, xo), 0);
    EXPECT_LE(w + xo, 16384);
    std::cout << "[ threads  ] one applet: " << kThreads << " threads, " << calls.load()
              << " calls\n";
}

TEST(Concurrency, AppletsOnSeveralBoardsInParallel) {
    vb_reset();
    constexpr int kBoards = 4;
    constexpr int kRounds = 3;
    std::atomic<int> failures{0};
    std::atomic<int64_t> calls{0};
    std::vector<std::thread> threads;
    for (int b = 0; b < kBoards; ++b) {
        threads.emplace_back([&, b] {
            for (int round = 0; round < kRounds; ++round) {
                AppletOnBoard applet(*pvtest::Library::applet(),
                                     vb_board_open(static_cast<uint32_t>(b)));
                if (!applet.opened()) {
                    failures.fetch_add(1);
                    continue;
                }
                // One thread per board: the rotation through the kinds of call starts elsewhere
                // each round.
                calls += hammer(applet, b + round, failures);
                // Each board holds what its own applet wrote.
                int32_t w = 0;
                if (applet.getInt(FG_WIDTH, w) != 0) failures.fetch_add(1);
                uint64_t hw = 0;
                vb_register_value(vb_board_open(static_cast<uint32_t>(b)),
                                  "Device1_Process0_Buffer_0_DRAM_A_1_XLength", &hw);
                if (hw != static_cast<uint64_t>(w)) failures.fetch_add(1);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(vb_open_host_handles(), 0);
    EXPECT_EQ(vb_loaded_images(), 0);
    std::cout << "[ threads  ] " << kBoards << " boards in parallel, " << kBoards * kRounds
              << " open/close cycles, " << calls.load() << " calls\n";
}
