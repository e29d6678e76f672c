// Info: what the applet is, answered without an applet object.
#include "data/HapImage.h"
#include "data/Icon.h"
#include "entry/Export.h"
#include "host/ErrorCodes.h"
#include "host/HostBinding.h"

#include <cstring>
#include <map>
#include <string>

using namespace pellvane;

namespace {

struct SymbolicName {
    const char* name;
    int32_t value;
};

// The symbolic names that parameter values may be given by, and their numbers. They are the
// encodings the enumeration parameters accept.
constexpr SymbolicName kSymbolicNames[] = {
    {"FG_CL_MEDIUM_8_BIT", 208},
    {"FG_CL_MEDIUM_10_BIT", 210},
    {"FG_CL_MEDIUM_12_BIT", 212},
    {"FG_YES", 1},
    {"FG_NO", 0},
    {"FG_GRAY", 3},
    {"FG_GRAY16", 1},
    {"FG_LEFT_ALIGNED", 1},
    {"FG_RIGHT_ALIGNED", 0},
    {"FG_CAMPORT", 0},
    {"FG_GENERATOR", 1},
    {"FG_ON", 1},
    {"FG_OFF", 0},
    {"LUT_TYPE_PROCESSING", 3},
    {"LUT_TYPE_CUSTOM", 0},
    {"LUT_IMPLEMENTATION_FULL_LUT", 0},
    {"LUT_IMPLEMENTATION_KNEELUT", 1},
    {"ATM_GENERATOR", 1},
    {"ATM_EXTERNAL", 2},
    {"ATM_SOFTWARE", 4},
    {"TS_ACTIVE", 0},
    {"TS_ASYNC_STOP", 1},
    {"TS_SYNC_STOP", 2},
    {"FG_APPLY", 1},
    {"TRGINSRC_0", 0},
    {"TRGINSRC_1", 1},
    {"TRGINSRC_2", 2},
    {"TRGINSRC_3", 3},
    {"TRGINSRC_4", 4},
    {"TRGINSRC_5", 5},
    {"TRGINSRC_6", 6},
    {"TRGINSRC_7", 7},
    {"LOW_ACTIVE", 1},
    {"HIGH_ACTIVE", 0},
    {"IS_BUSY", 1},
    {"IS_NOT_BUSY", 0},
    {"CC_PULSEGEN0", 0},
    {"CC_PULSEGEN1", 1},
    {"CC_PULSEGEN2", 2},
    {"CC_PULSEGEN3", 3},
    {"CC_GND", 4},
    {"CC_VCC", 5},
    {"CC_NOT_PULSEGEN0", 6},
    {"CC_NOT_PULSEGEN1", 7},
    {"CC_NOT_PULSEGEN2", 8},
    {"CC_NOT_PULSEGEN3", 9},
    {"CC_INPUT_BYPASS", 10},
    {"CC_NOT_INPUT_BYPASS", 11},
    {"PULSEGEN0", 0},
    {"PULSEGEN1", 1},
    {"PULSEGEN2", 2},
    {"PULSEGEN3", 3},
    {"GND", 4},
    {"VCC", 5},
    {"NOT_PULSEGEN0", 6},
    {"NOT_PULSEGEN1", 7},
    {"NOT_PULSEGEN2", 8},
    {"NOT_PULSEGEN3", 9},
    {"INPUT_BYPASS", 10},
    {"NOT_INPUT_BYPASS", 11},
    {"FREE_RUN", 0},
    {"GRABBER_CONTROLLED", 1},
    {"ASYNC_TRIGGER", 2},
    {"ASYNC_SOFTWARE_TRIGGER", 4},
    {"FG_LOW", 0},
    {"FG_HIGH", 1},
    {"CC_EXSYNC", 0},
    {"CC_NOT_EXSYNC", 6},
    {"CC_STROBEPULSE", 2},
    {"CC_NOT_STROBEPULSE", 8},
};
static_assert(std::size(kSymbolicNames) == 70);

// Built once, on first use, and kept for the life of the process. A name listed twice keeps
// its first value.
const std::map<std::string, int32_t>& symbolicNames() {
    static const std::map<std::string, int32_t> table = [] {
        std::map<std::string, int32_t> t;
        for (const SymbolicName& s : kSymbolicNames)
            t.emplace(s.name, s.value);
        return t;
    }();
    return table;
}

enum class Output : uint8_t { None, Text, Data, Icon, Value32, Value64, BoardHandle, ImageHandle };

struct Query {
    int32_t code;
    int32_t result;
    Output output;
    const char* text; // Text: the string handed out
    int64_t value;    // Value32/Value64: the number written; Data: the size
};

constexpr Query kQueries[] = {
    {0x350, 0, Output::None, nullptr, 0},
    {0x410, 0, Output::None, nullptr, 0},
    {0x411, 0, Output::Icon, nullptr, static_cast<int64_t>(kIconSize)},
    {0x412, 0, Output::Data, nullptr, static_cast<int64_t>(kHapImageSize)},
    {0x413, 0, Output::Text, "5b1e7f20-3c44-4d8a-9e61-0f27c3a8d915", 0},
    {0x414, 0, Output::Text, "", 0},
    {0x415, 1, Output::None, nullptr, 0},
    {0x700, 1, Output::None, nullptr, 0},
    {0x750, 1, Output::None, nullptr, 0},
    {0x760, 1, Output::None, nullptr, 0},
    {0x800, 0x20004, Output::None, nullptr, 0},
    {0x870, 0, Output::None, nullptr, 0},
    {0x880, 2626, Output::None, nullptr, 0},
    {0x890, 0, Output::None, nullptr, 0},
    {0x900, 0, Output::Value32, nullptr, 0},
    {0xa00, 0, Output::None, nullptr, 0},
    {0xb00, 1, Output::None, nullptr, 0},
    {0xc00, 1, Output::None, nullptr, 0},
    {0xd00, 0, Output::None, nullptr, 0},
    {0x1000, 0, Output::Text,
     "Mirrowen with support of Tessloop technology, 12Bit image processing and lookup table "
     "for one Camera Link MEDIUM configuration grayscale area scan camera with high resolution "
     "sensor.",
     0},
    {0x1010, 0, Output::Text, "Mirrowen:Area XL", 0},
    {0x1020, 0, Output::Text,
     "class=standard,family=acquisition,type=single,sensortype=area,color=gray,"
     "interface=cl-medium",
     0},
    {0x1030, 0, Output::BoardHandle, nullptr, 0},
    {0x1040, 0, Output::ImageHandle, nullptr, 0},
    {0x1050, 0, Output::Text, "Pellvane", 0},
    {0x1060, 0, Output::Text, "2.4.1.2", 0},
    {0x1070, 0, Output::Text, "2.4.1.2.20170418.111753", 0},
    {0x1200, 1, Output::None, nullptr, 0},
};

// Queries about a DMA channel or camera port: the applet has exactly one (index 0).
struct IndexedQuery {
    int32_t code;
    int32_t result;
    bool secondIndexToo;
};

constexpr IndexedQuery kIndexedQueries[] = {
    {0x1210, 1, false}, {0x1220, 1, false}, {0x1230, 0, true},
    {0x1240, 0, true},  {0x1250, 1, false},
};

// Query 4704 answers from a table with one entry per valid first index.
constexpr int32_t kPortQuery = 0x1260;
constexpr int32_t kPortTable[] = {9};

constexpr int32_t kSymbolQuery = 0x1100;

template <class T>
void put(void* value, T v) {
    if (value != nullptr) std::memcpy(value, &v, sizeof v);
}

} // namespace

PELLVANE_EXPORT int32_t Info(int32_t query, int32_t index1, int32_t index2, void* value,
                             const void** data) {
    if (query == kSymbolQuery) {
        if (value == nullptr) return kInvalidParameter;
        auto it = symbolicNames().find(static_cast<const char*>(value));
        return it != symbolicNames().end() ? it->second : kInvalidParameter;
    }
    if (query == kPortQuery) {
        if (index1 < 0 || index1 >= static_cast<int32_t>(std::size(kPortTable)))
            return kInvalidParameter;
        return kPortTable[index1];
    }
    for (const IndexedQuery& q : kIndexedQueries) {
        if (q.code != query) continue;
        if (index1 != 0 || (q.secondIndexToo && index2 != 0)) return kInvalidParameter;
        return q.result;
    }
    for (const Query& q : kQueries) {
        if (q.code != query) continue;
        switch (q.output) {
        case Output::None:
            break;
        case Output::Text:
            if (data != nullptr) *data = q.text;
            break;
        case Output::Icon:
            // Every index gets the one picture the applet has.
            put<int64_t>(value, q.value);
            if (data != nullptr) *data = appletIcon();
            break;
        case Output::Data:
            put<int64_t>(value, q.value);
            if (data != nullptr) *data = hapImage();
            break;
        case Output::Value32:
            put<int32_t>(value, static_cast<int32_t>(q.value));
            break;
        case Output::Value64:
            put<int64_t>(value, q.value);
            break;
        case Output::BoardHandle:
            put<void*>(value, ProcessHandles::board());
            break;
        case Output::ImageHandle:
            put<void*>(value, ProcessHandles::image());
            break;
        }
        return q.result;
    }
    return kNotSupported;
}
