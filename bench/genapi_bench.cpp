// The GenApi description: what it costs the applet to produce it, beside what it costs a real
// GenApi consumer (Aravis) to parse it. The applet builds the document anew on every call, the
// size query included, so the call with a buffer is the whole cost of one document. And the walk
// of the information tree a host makes instead of reading the document.
#include "BenchBoard.h"

#include <arv.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using GetParameterInfoXml = int32_t (*)(void*, int32_t, char*, size_t*);

GetParameterInfoXml infoXmlExport(const pvbench::Loaded& applet) {
    return reinterpret_cast<GetParameterInfoXml>(applet.symbol("Fg_getParameterInfoXML"));
}

void appletWritesDocument(benchmark::State& state) {
    pvbench::Board board;
    pvbench::Loaded applet("Pellvane.so");
    const GetParameterInfoXml getXml = infoXmlExport(applet);
    size_t needed = 0;
    if (getXml(board.fg(), 0, nullptr, &needed) != 0) {
        state.SkipWithError("size query failed");
        return;
    }
    std::vector<char> buffer(needed);
    for (auto _ : state) {
        size_t size = buffer.size();
        if (getXml(board.fg(), 0, buffer.data(), &size) != 0) {
            state.SkipWithError("document query failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (needed - 1)));
    state.counters["document_bytes"] = static_cast<double>(needed - 1);
}

void aravisParsesDocument(benchmark::State& state) {
    std::string xml;
    {
        pvbench::Board board;
        pvbench::Loaded applet("Pellvane.so");
        const GetParameterInfoXml getXml = infoXmlExport(applet);
        size_t size = 0;
        if (getXml(board.fg(), 0, nullptr, &size) != 0) {
            state.SkipWithError("size query failed");
            return;
        }
        std::vector<char> buffer(size);
        if (getXml(board.fg(), 0, buffer.data(), &size) != 0) {
            state.SkipWithError("document query failed");
            return;
        }
        xml.assign(buffer.data(), size - 1);
    }
    for (auto _ : state) {
        // No device: parsing and building the node tree is all that is measured.
        ArvGc* gc = arv_gc_new(nullptr, xml.data(), xml.size());
        if (gc == nullptr) {
            state.SkipWithError("Aravis cannot parse the document");
            break;
        }
        g_object_unref(gc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * xml.size()));
    state.counters["document_bytes"] = static_cast<double>(xml.size());
}

// What a host does to discover the parameters: every node of the applet's information tree
// visited once, reading what a host reads of it (kind, names, identifier, access).
void infoTreeWalk(benchmark::State& state) {
    pvbench::Board board;
    int64_t nodes = 0;
    for (auto _ : state) {
        auto* root =
            static_cast<const ParameterInfoNode*>(board.x().Fg_getParameterInfo(board.fg(), 0));
        if (root == nullptr) {
            state.SkipWithError("no information tree");
            break;
        }
        nodes = 0;
        uint64_t digest = 0;
        pvbench::walkTree(root, [&](const ParameterInfoNode& n) {
            ++nodes;
            digest += static_cast<uint64_t>(n.kind + n.id + n.access);
            if (n.name != nullptr) digest += static_cast<unsigned char>(n.name[0]);
            if (n.displayName != nullptr) digest += static_cast<unsigned char>(n.displayName[0]);
        });
        benchmark::DoNotOptimize(digest);
    }
    state.counters["nodes"] = static_cast<double>(nodes);
    state.SetItemsProcessed(state.iterations() * nodes);
}

} // namespace

BENCHMARK(appletWritesDocument)->Unit(benchmark::kMicrosecond);
BENCHMARK(aravisParsesDocument)->Unit(benchmark::kMicrosecond);
BENCHMARK(infoTreeWalk)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
