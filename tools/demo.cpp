// pellvane-demo: open a board of the virtual board with the Pellvane applet, print what the
// applet says about itself and its parameters, and close the board again.
//
// The demo plays the host's part: it loads the applet library by name, asks Info what it is,
// creates the applet object with Std_entry for board 0 and keeps it in the first word of its
// own per-board record, then calls the applet's exports with that record.
#include "TreeText.h"
#include "vboard/vboard.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

struct Applet {
    void* (*Std_entry)(void*, int32_t*, int32_t);
    int32_t (*Info)(int32_t, int32_t, int32_t, void*, const void**);
    int32_t (*Fg_getNrOfParameter)(void*);
    const char* (*Fg_getParameterName)(void*, int32_t);
    int32_t (*Fg_getParameterId)(void*, int32_t);
    int32_t (*Fg_getParameterWithType)(void*, int32_t, void*, uint32_t, int32_t);
    uint64_t (*Fg_getEventMask)(void*, const char*);
    int32_t (*Fg_getLastErrorNumber)(void*);
    void* (*Fg_getParameterInfo)(void*, int32_t);
    int32_t (*Fg_FreeGrabber)(void*);
};

template <class T>
bool bind(void* lib, T& fn, const char* name) {
    fn = reinterpret_cast<T>(dlsym(lib, name));
    if (fn == nullptr) std::fprintf(stderr, "the applet lacks %s\n", name);
    return fn != nullptr;
}

const char* infoText(const Applet& a, int32_t query) {
    const void* data = nullptr;
    if (a.Info(query, 0, 0, nullptr, &data) < 0 || data == nullptr) return "(none)";
    return static_cast<const char*>(data);
}

} // namespace

int main() {
    void* lib = dlopen("Pellvane.so", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        std::fprintf(stderr, "cannot load the applet: %s\n", dlerror());
        return 1;
    }
    Applet a{};
    bool ok = bind(lib, a.Std_entry, "Std_entry") && bind(lib, a.Info, "Info") &&
              bind(lib, a.Fg_getNrOfParameter, "Fg_getNrOfParameter") &&
              bind(lib, a.Fg_getParameterName, "Fg_getParameterName") &&
              bind(lib, a.Fg_getParameterId, "Fg_getParameterId") &&
              bind(lib, a.Fg_getParameterWithType, "Fg_getParameterWithType") &&
              bind(lib, a.Fg_getEventMask, "Fg_getEventMask") &&
              bind(lib, a.Fg_getLastErrorNumber, "Fg_getLastErrorNumber") &&
              bind(lib, a.Fg_getParameterInfo, "Fg_getParameterInfo") &&
              bind(lib, a.Fg_FreeGrabber, "Fg_FreeGrabber");
    if (!ok) return 1;

    std::printf("Applet         %s %s (build %s)\n", infoText(a, 0x1050), infoText(a, 0x1060),
                infoText(a, 0x1070));
    std::printf("Design         %s\n", infoText(a, 0x1010));
    std::printf("Description    %s\n", infoText(a, 0x1000));
    std::printf("Properties     %s\n", infoText(a, 0x1020));
    int64_t imageSize = 0;
    const void* image = nullptr;
    a.Info(0x412, 0, 0, &imageSize, &image);
    std::printf("Hardware image %lld bytes\n", static_cast<long long>(imageSize));

    void* record[4] = {};
    int32_t error = 0;
    record[0] = a.Std_entry(vb_board_open(0), &error, 0);
    if (record[0] == nullptr) {
        std::fprintf(stderr, "Std_entry failed with error %d\n", error);
        return 1;
    }
    void* board = nullptr;
    a.Info(0x1030, 0, 0, &board, nullptr);
    std::printf("\nBoard 0 opened (board handle %p), last error %d\n", board,
                a.Fg_getLastErrorNumber(record));

    std::printf("%d parameters, in this information tree:\n\n", a.Fg_getNrOfParameter(record));
    auto* root = static_cast<const ParameterInfoNode*>(a.Fg_getParameterInfo(record, 0));
    std::fputs(pellvane::tools::describeTree(root).c_str(), stdout);

    char description[256];
    std::strcpy(description, "FG_WIDTH");
    if (a.Fg_getParameterWithType(record, 24114, description, 0, 5) == 0)
        std::printf("\nFG_WIDTH: %s\n", description);
    int32_t dmas = 0;
    if (a.Fg_getParameterWithType(record, 3050, &dmas, 0, 1) == 0)
        std::printf("DMA channels: %d\n", dmas);
    std::printf("Event FG_OVERFLOW_CAM0 has mask 0x%llx\n",
                static_cast<unsigned long long>(a.Fg_getEventMask(record, "FG_OVERFLOW_CAM0")));

    int32_t closed = a.Fg_FreeGrabber(record);
    std::printf("\nBoard closed (%d); %zu register writes reached the virtual board.\n", closed,
                vb_log_count());
    dlclose(lib);
    return closed == 0 ? 0 : 1;
}
