// pellvane-demo: an acquisition program on the virtual board, end to end.
//
// It opens board 0 with the Pellvane applet through the host library's application interface,
// prints who the applet is and a few of its parameters, sets a region of interest, a gamma
// lookup table (gamma 2.2) and 16-bit left-aligned output, runs the trigger generator at 30
// frames per second, acquires 60 pictures, writes the first and the last as PNG files and
// prints what arrived. Every picture is checked pixel by pixel against the camera's test scene as
// the lookup table maps it; the program exits 0 only when every check holds.
#include "PictureWriter.h"
#include "Terminal.h"

#include <kestlib5/kestlib5.h>

#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr unsigned kBoard = 0;
constexpr int64_t kPictures = 60;
constexpr double kFramesPerSecond = 30.0;
constexpr uint32_t kWidth = 640, kHeight = 480, kXOffset = 64, kYOffset = 32;
constexpr double kGamma = 2.2;

// Info queries.
constexpr int32_t kInfoName = 0x1050, kInfoVersion = 0x1060, kInfoDesign = 0x1010,
                  kInfoDescription = 0x1000, kInfoSymbolValue = 0x1100;

constexpr const char* kUsage =
    "usage: pellvane-demo [--help]\n\n"
    "Opens board 0 of the virtual board with the Pellvane applet through the host library,\n"
    "sets a 640x480 region, gamma 2.2 and 16-bit output, acquires 60 pictures at 30 frames/s,\n"
    "checks every pixel against the camera's test scene, and writes the first and the last\n"
    "picture as pellvane-first.png and pellvane-last.png in the current folder. The exit\n"
    "status is 0 when every check holds. The progress bar is drawn on a terminal only.\n";

int failures = 0;

void check(bool ok, const std::string& what) {
    if (!ok) {
        ++failures;
        std::printf("CHECK FAILED: %s\n", what.c_str());
    }
}

class Demo {
public:
    explicit Demo(Fg_Struct* fg) : fg_(fg) {}

    int32_t id(const char* name) {
        int32_t i = Fg_getParameterIdByName(fg_, name);
        check(i > 0, std::string("the applet knows ") + name);
        return i;
    }

    // The value of one of the applet's symbolic names (FG_GRAY16, TS_ACTIVE, ...).
    int32_t symbol(const char* name) {
        const int32_t v =
            Fg_getAppletInfo(fg_, kInfoSymbolValue, 0, 0, const_cast<char*>(name), nullptr);
        check(v >= 0, std::string("the applet knows ") + name);
        return v;
    }

    bool set(const char* name, const char* symbolicValue) {
        return set(name, symbol(symbolicValue));
    }
    bool set(const char* name, int32_t value) {
        return report(name,
                      Fg_setParameterWithType(fg_, id(name), &value, 0, FG_PARAM_TYPE_INT32_T));
    }
    bool set(const char* name, double value) {
        return report(name,
                      Fg_setParameterWithType(fg_, id(name), &value, 0, FG_PARAM_TYPE_DOUBLE));
    }
    int32_t getInt(const char* name) {
        int32_t v = 0;
        report(name, Fg_getParameterWithType(fg_, id(name), &v, 0, FG_PARAM_TYPE_INT32_T));
        return v;
    }
    double getDouble(const char* name) {
        double v = 0;
        report(name, Fg_getParameterWithType(fg_, id(name), &v, 0, FG_PARAM_TYPE_DOUBLE));
        return v;
    }
    const char* info(int32_t query) {
        const void* text = nullptr;
        if (Fg_getAppletInfo(fg_, query, 0, 0, nullptr, &text) != 0 || text == nullptr) return "?";
        return static_cast<const char*>(text);
    }

    // The lookup table as the applet holds it, one entry at a time.
    std::vector<uint32_t> lookupTable() {
        std::vector<uint32_t> table(4096);
        const int32_t lut = id("FG_LUT_VALUE");
        for (uint32_t i = 0; i < table.size(); ++i) {
            uint32_t entry[2] = {0, i}; // value, index
            report("FG_LUT_VALUE",
                   Fg_getParameterWithType(fg_, lut, entry, 0,
                                           FG_PARAM_TYPE_STRUCT_FIELDPARAMINT_ENTRY));
            table[i] = entry[0];
        }
        return table;
    }

private:
    bool report(const char* name, int32_t result) {
        if (result != 0) {
            std::printf("%s: error %d (%s)\n", name, result, Fg_getErrorDescription(fg_, result));
            check(false, std::string("access to ") + name);
        }
        return result == 0;
    }
    Fg_Struct* fg_;
};

// The camera's scene is a ramp that steps by one per pixel, two per line and four per frame
// over the 12-bit range. Finds where the ramp of a picture starts (its phase), or -1.
int findPhase(const uint16_t* pixels, const std::vector<uint16_t>& out) {
    for (int phase = 0; phase < 4096; ++phase) {
        bool match = true;
        for (uint32_t x = 0; x < kWidth && match; ++x)
            match = pixels[x] == out[(phase + x) & 0xFFF];
        if (match) return phase;
    }
    return -1;
}

bool pictureMatches(const uint16_t* pixels, const std::vector<uint16_t>& out, int phase) {
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            if (pixels[y * kWidth + x] != out[(phase + 2 * y + x) & 0xFFF]) return false;
        }
    }
    return true;
}

void progress(int64_t done, int64_t total) {
    if (!pellvane::tools::isTerminal(stdout)) return;
    constexpr int kBar = 40;
    int filled = static_cast<int>(done * kBar / total);
    std::printf("\r  [%s%s] %3" PRId64 "/%" PRId64, std::string(filled, '#').c_str(),
                std::string(kBar - filled, '.').c_str(), done, total);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "pellvane-demo: unknown argument %s\n%s", a.c_str(), kUsage);
        return 2;
    }
    Fg_Struct* fg = Fg_Init("Pellvane", kBoard);
    if (fg == nullptr) {
        int32_t e = Fg_getLastErrorNumber(nullptr);
        std::fprintf(stderr, "cannot open board %u with the Pellvane applet: error %d (%s)\n",
                     kBoard, e, Fg_getErrorDescription(nullptr, e));
        return 1;
    }
    Demo d(fg);
    std::printf("Applet    %s %s on the virtual board, board %u\n", d.info(kInfoName),
                d.info(kInfoVersion), kBoard);
    std::printf("Design    %s\n", d.info(kInfoDesign));
    std::printf("          %s\n\n", d.info(kInfoDescription));
    std::printf("%d parameters; a few of them at start-up:\n", Fg_getNrOfParameter(fg));
    for (const char* name : {"FG_CAMERA_LINK_CAMTYPE", "FG_WIDTH", "FG_HEIGHT", "FG_XOFFSET",
                             "FG_YOFFSET", "FG_FORMAT", "FG_AREATRIGGERMODE", "FG_TRIGGERSTATE"})
        std::printf("  %-28s %d\n", name, d.getInt(name));
    std::printf("  %-28s %g\n\n", "FG_TRIGGER_FRAMESPERSECOND",
                d.getDouble("FG_TRIGGER_FRAMESPERSECOND"));

    // The set-up: a 12-bit camera, a 640 x 480 region, gamma 2.2, 16 bits left-aligned, the
    // trigger generator at 30 frames per second.
    d.set("FG_CAMERA_LINK_CAMTYPE", "FG_CL_MEDIUM_12_BIT");
    d.set("FG_WIDTH", static_cast<int32_t>(kWidth));
    d.set("FG_HEIGHT", static_cast<int32_t>(kHeight));
    d.set("FG_XOFFSET", static_cast<int32_t>(kXOffset));
    d.set("FG_YOFFSET", static_cast<int32_t>(kYOffset));
    d.set("FG_PROCESSING_GAMMA", kGamma);
    d.set("FG_FORMAT", "FG_GRAY16");
    d.set("FG_BITALIGNMENT", "FG_LEFT_ALIGNED");
    d.set("FG_AREATRIGGERMODE", "ATM_GENERATOR");
    d.set("FG_TRIGGER_FRAMESPERSECOND", kFramesPerSecond);
    std::printf("Set: region %ux%u at (%u, %u), gamma %.1f, 16 bit left-aligned, generator at "
                "%.0f frames/s\n",
                kWidth, kHeight, kXOffset, kYOffset, kGamma, kFramesPerSecond);

    // What a correct picture holds: the scene's 12-bit value through the table, shifted left.
    std::vector<uint32_t> table = d.lookupTable();
    std::vector<uint16_t> out(4096);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<uint16_t>(table[i] << 4);

    const size_t pictureBytes = size_t{kWidth} * kHeight * 2;
    constexpr int64_t kBuffers = 8;
    dma_mem* mem = Fg_AllocMemEx(fg, pictureBytes * kBuffers, kBuffers);
    check(mem != nullptr, "frame buffers allocated");
    if (mem == nullptr) return 1;

    std::printf("\nAcquiring %" PRId64 " pictures:\n", kPictures);
    check(Fg_AcquireEx(fg, 0, kPictures, ACQ_STANDARD, mem) == 0, "acquisition started");
    const auto start = std::chrono::steady_clock::now();
    d.set("FG_TRIGGERSTATE", "TS_ACTIVE");

    struct Row {
        int64_t picture;
        uint64_t bytes;
        double at;
        bool pixels;
    };
    std::vector<Row> rows;
    int phase0 = -1;
    for (int64_t n = 1; n <= kPictures; ++n) {
        int64_t last = Fg_getLastPicNumberBlockingEx(fg, n, 0, 5, mem);
        if (last < n) {
            check(false,
                  "picture " + std::to_string(n) + " arrived (error " + std::to_string(last) + ")");
            break;
        }
        const double at =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        uint64_t bytes = 0;
        Fg_getParameterWithType(fg, Fg_getParameterIdByName(fg, "FG_TRANSFER_LEN"), &bytes, 0,
                                FG_PARAM_TYPE_UINT64_T);
        auto* pixels = static_cast<const uint16_t*>(Fg_getImagePtrEx(fg, n, 0, mem));
        bool good = pixels != nullptr;
        if (good && n == 1) phase0 = findPhase(pixels, out);
        // Consecutive camera frames: the ramp moves four steps each.
        good = good && phase0 >= 0 &&
               pictureMatches(pixels, out, static_cast<int>((phase0 + 4 * (n - 1)) & 0xFFF));
        check(good, "picture " + std::to_string(n) + " holds the scene through the table");
        if (good && (n == 1 || n == kPictures)) {
            std::string file = n == 1 ? "pellvane-first.png" : "pellvane-last.png";
            std::string error = pellvane::tools::writePicture(
                file, pellvane::tools::Picture{pixels, kWidth, kHeight, 16},
                pellvane::tools::PictureFormat::Png);
            check(error.empty(), "write " + file + (error.empty() ? "" : ": " + error));
        }
        rows.push_back(Row{n, bytes, at, good});
        progress(n, kPictures);
    }
    std::printf(pellvane::tools::isTerminal(stdout) ? "\n\n" : "\n");
    d.set("FG_TRIGGERSTATE", "TS_SYNC_STOP");

    std::printf("  %8s %10s %10s %8s\n", "picture", "bytes", "time (s)", "pixels");
    for (const Row& r : rows) {
        if (r.picture <= 3 || r.picture > kPictures - 3)
            std::printf("  %8" PRId64 " %10" PRIu64 " %10.3f %8s\n", r.picture, r.bytes, r.at,
                        r.pixels ? "ok" : "WRONG");
        else if (r.picture == 4)
            std::printf("  %8s\n", "...");
        check(r.bytes == pictureBytes, "picture " + std::to_string(r.picture) + " has " +
                                           std::to_string(pictureBytes) + " bytes");
    }
    check(static_cast<int64_t>(rows.size()) == kPictures, "all pictures arrived");
    if (rows.size() >= 2) {
        double rate = static_cast<double>(rows.size() - 1) / (rows.back().at - rows.front().at);
        std::printf("\nAchieved %.2f frames/s (generator set to %.0f)\n", rate, kFramesPerSecond);
        check(rate > kFramesPerSecond * 0.9 && rate < kFramesPerSecond * 1.1,
              "the frame rate is within 10% of the generator's");
    }
    check(Fg_getStatusEx(fg, GRAB_ACTIVE, 0, 0, mem) == 0, "the acquisition ended by itself");
    check(Fg_FreeMemEx(fg, mem) == 0, "frame buffers freed");
    check(Fg_FreeGrabber(fg) == 0, "board closed");
    std::printf("Wrote pellvane-first.png and pellvane-last.png.\n");
    if (failures != 0) {
        std::printf("%d check(s) failed.\n", failures);
        return 1;
    }
    std::printf("All checks passed.\n");
    return 0;
}
