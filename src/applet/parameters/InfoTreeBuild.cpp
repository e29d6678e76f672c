// Builds the applet's information tree once, during start-up: the categories and parameter
// nodes in their fixed order (the order gives every node its index), then the debug sections.
#include "entry/FgXeWrapperImpl.h"

#include <bit>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace pellvane {

namespace {

constexpr int32_t kPort = 0;
constexpr double kEpsilon = 0x1p-52;
// The slowest frame rate the generator's 32-bit period register can hold, bit for bit.
constexpr double kMinimumFrameRate = std::bit_cast<double>(uint64_t{0x3F8DCD64FFFFFFFF});

struct EntryDef {
    const char* displayName;
    int32_t value;
    const char* symbol;
};

enum class RowKind : uint8_t { Category, Integer, Double, Enumeration, String, Field };

struct NodeRow {
    RowKind kind;
    const char* path; // the category, its parents separated by "/"
    const char* name; // null for a category row
    const char* displayName;
    double min, max, inc;
    int32_t access, level;
    const char* unit;
    const EntryDef* entries;
    int32_t entryCount; // enumeration entries, or field elements
    const char* pattern;
};

constexpr NodeRow category(const char* path) {
    return {RowKind::Category, path, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr, nullptr, 0, nullptr};
}
constexpr NodeRow integer(const char* path, const char* name, const char* display, double min,
                          double max, double inc, int32_t access, int32_t level, const char* unit) {
    return {RowKind::Integer, path,  name, display, min, max,    inc,
            access,           level, unit, nullptr, 0,   nullptr};
}
constexpr NodeRow real(const char* path, const char* name, const char* display, double min,
                       double max, double inc, int32_t access, int32_t level, const char* unit) {
    return {RowKind::Double, path,  name, display, min, max,    inc,
            access,          level, unit, nullptr, 0,   nullptr};
}
template <std::size_t N>
constexpr NodeRow enumeration(const char* path, const char* name, const char* display,
                              int32_t access, int32_t level, const EntryDef (&entries)[N]) {
    return {RowKind::Enumeration, path,   name, display, 0, 0, 0, access, level, nullptr, entries,
            int32_t(N),           nullptr};
}
constexpr NodeRow string(const char* path, const char* name, const char* display, int32_t access,
                         int32_t level, const char* pattern) {
    return {RowKind::String, path,  name,    display, 0, 0,      0,
            access,          level, nullptr, nullptr, 0, pattern};
}
constexpr NodeRow field(const char* path, const char* name, const char* display, int32_t access,
                        int32_t level, int32_t elements, double min, double max) {
    return {RowKind::Field, path,  name,    display, min,      max,    0,
            access,         level, nullptr, nullptr, elements, nullptr};
}

// Enumeration entries: display name, value, symbolic name.
constexpr EntryDef kEntries_FG_CAMERA_LINK_CAMTYPE[] = {
    {"Medium 8bit", 208, "FG_CL_MEDIUM_8_BIT"},
    {"Medium 10bit", 210, "FG_CL_MEDIUM_10_BIT"},
    {"Medium 12bit", 212, "FG_CL_MEDIUM_12_BIT"},
};
constexpr EntryDef kEntries_FG_USEDVAL[] = {
    {"Yes", 1, "FG_YES"},
    {"No", 0, "FG_NO"},
};
constexpr EntryDef kEntries_FG_TRIGGERMODE[] = {
    {"Free Run", 0, "FREE_RUN"},
    {"Grabber controlled", 1, "GRABBER_CONTROLLED"},
    {"Async External Trigger", 2, "ASYNC_TRIGGER"},
    {"Async Software Trigger", 4, "ASYNC_SOFTWARE_TRIGGER"},
};
constexpr EntryDef kEntries_FG_EXSYNCON[] = {
    {"On", 1, "FG_ON"},
    {"Off", 0, "FG_OFF"},
};
constexpr EntryDef kEntries_FG_EXSYNCPOLARITY[] = {
    {"Low Active", 0, "FG_LOW"},
    {"High Active", 1, "FG_HIGH"},
};
constexpr EntryDef kEntries_FG_CCSEL0[] = {
    {"Exsync", 0, "CC_EXSYNC"},     {"!Exsync", 6, "CC_NOT_EXSYNC"},
    {"Flash", 2, "CC_STROBEPULSE"}, {"!Flash", 8, "CC_NOT_STROBEPULSE"},
    {"Gnd", 4, "CC_GND"},           {"Vcc", 5, "CC_VCC"},
};
constexpr EntryDef kEntries_FG_TRIGGERIN_SRC[] = {
    {"Trigger Source 0", 0, "TRGINSRC_0"}, {"Trigger Source 1", 1, "TRGINSRC_1"},
    {"Trigger Source 2", 2, "TRGINSRC_2"}, {"Trigger Source 3", 3, "TRGINSRC_3"},
    {"Trigger Source 4", 4, "TRGINSRC_4"}, {"Trigger Source 5", 5, "TRGINSRC_5"},
    {"Trigger Source 6", 6, "TRGINSRC_6"}, {"Trigger Source 7", 7, "TRGINSRC_7"},
};
constexpr EntryDef kEntries_FG_TRIGGERIN_POLARITY[] = {
    {"Low Active", 1, "LOW_ACTIVE"},
    {"High Active", 0, "HIGH_ACTIVE"},
};
constexpr EntryDef kEntries_FG_SOFTWARETRIGGER_IS_BUSY[] = {
    {"Busy Flag is set", 1, "IS_BUSY"},
    {"Busy Flag is not set", 0, "IS_NOT_BUSY"},
};
constexpr EntryDef kEntries_FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR[] = {
    {"Apply", 1, "FG_APPLY"},
};
constexpr EntryDef kEntries_FG_TRIGGERCC_SELECT0[] = {
    {"Pulse Generator 0", 0, "CC_PULSEGEN0"},
    {"Pulse Generator 1", 1, "CC_PULSEGEN1"},
    {"Pulse Generator 2", 2, "CC_PULSEGEN2"},
    {"Pulse Generator 3", 3, "CC_PULSEGEN3"},
    {"Gnd", 4, "CC_GND"},
    {"Vcc", 5, "CC_VCC"},
    {"Not Pulse Generator 0", 6, "CC_NOT_PULSEGEN0"},
    {"Not Pulse Generator 1", 7, "CC_NOT_PULSEGEN1"},
    {"Not Pulse Generator 2", 8, "CC_NOT_PULSEGEN2"},
    {"Not Pulse Generator 3", 9, "CC_NOT_PULSEGEN3"},
    {"Input Bypass", 10, "CC_INPUT_BYPASS"},
    {"Not Input Bypass", 11, "CC_NOT_INPUT_BYPASS"},
};
constexpr EntryDef kEntries_FG_TRIGGEROUT_STATS_SOURCE[] = {
    {"Pulse Generator 0", 0, "PULSEGEN0"},
    {"Pulse Generator 1", 1, "PULSEGEN1"},
    {"Pulse Generator 2", 2, "PULSEGEN2"},
    {"Pulse Generator 3", 3, "PULSEGEN3"},
};
constexpr EntryDef kEntries_FG_TRIGGEROUT_SELECT0[] = {
    {"Pulse Generator 0", 0, "PULSEGEN0"},
    {"Pulse Generator 1", 1, "PULSEGEN1"},
    {"Pulse Generator 2", 2, "PULSEGEN2"},
    {"Pulse Generator 3", 3, "PULSEGEN3"},
    {"Gnd", 4, "GND"},
    {"Vcc", 5, "VCC"},
    {"Not Pulse Generator 0", 6, "NOT_PULSEGEN0"},
    {"Not Pulse Generator 1", 7, "NOT_PULSEGEN1"},
    {"Not Pulse Generator 2", 8, "NOT_PULSEGEN2"},
    {"Not Pulse Generator 3", 9, "NOT_PULSEGEN3"},
    {"Input Bypass", 10, "INPUT_BYPASS"},
    {"Not Input Bypass", 11, "NOT_INPUT_BYPASS"},
};
constexpr EntryDef kEntries_FG_AREATRIGGERMODE[] = {
    {"Generator", 1, "ATM_GENERATOR"},
    {"External", 2, "ATM_EXTERNAL"},
    {"Software", 4, "ATM_SOFTWARE"},
};
constexpr EntryDef kEntries_FG_TRIGGERSTATE[] = {
    {"Active", 0, "TS_ACTIVE"},
    {"Async Stop", 1, "TS_ASYNC_STOP"},
    {"Sync Stop", 2, "TS_SYNC_STOP"},
};
constexpr EntryDef kEntries_FG_LUT_IMPLEMENTATION_TYPE[] = {
    {"Full LUT", 0, "LUT_IMPLEMENTATION_FULL_LUT"},
    {"KneeLUT", 1, "LUT_IMPLEMENTATION_KNEELUT"},
};
constexpr EntryDef kEntries_FG_LUT_TYPE[] = {
    {"Processor", 3, "LUT_TYPE_PROCESSING"},
    {"User file", 0, "LUT_TYPE_CUSTOM"},
};
constexpr EntryDef kEntries_FG_FORMAT[] = {
    {"Gray 8bit", 3, "FG_GRAY"},
    {"Gray 16bit", 1, "FG_GRAY16"},
};
constexpr EntryDef kEntries_FG_BITALIGNMENT[] = {
    {"Left Aligned", 1, "FG_LEFT_ALIGNED"},
    {"Right Aligned", 0, "FG_RIGHT_ALIGNED"},
};
constexpr EntryDef kEntries_FG_GEN_ENABLE[] = {
    {"Camera", 0, "FG_CAMPORT"},
    {"Generator", 1, "FG_GENERATOR"},
};

// The tree in creation order: a row without a parameter name creates the category of its
// path; a parameter row creates its node in the category of its path.
constexpr NodeRow kRows[] = {
    category("Camera Link"),
    enumeration("Camera Link", "FG_CAMERA_LINK_CAMTYPE", "Input Format", 7, 1,
                kEntries_FG_CAMERA_LINK_CAMTYPE),
    enumeration("Camera Link", "FG_USEDVAL", "Use DVAL", 7, 1, kEntries_FG_USEDVAL),
    category("ROI"),
    integer("ROI", "FG_WIDTH", "Width", 16, 16384, 8, 3, 2, "pixel"),
    integer("ROI", "FG_HEIGHT", "Height", 4, 65535, 1, 3, 2, "pixel"),
    integer("ROI", "FG_XOFFSET", "XOffset", 0, 16368, 8, 3, 2, "pixel"),
    integer("ROI", "FG_YOFFSET", "YOffset", 0, 65534, 1, 3, 2, "pixel"),
    category("Trigger"),
    category("Trigger/Legacy"),
    enumeration("Trigger/Legacy", "FG_TRIGGERMODE", "FG_TRIGGERMODE", 7, 1,
                kEntries_FG_TRIGGERMODE),
    enumeration("Trigger/Legacy", "FG_EXSYNCON", "FG_EXSYNCON", 7, 1, kEntries_FG_EXSYNCON),
    enumeration("Trigger/Legacy", "FG_FLASHON", "FG_FLASHON", 7, 1, kEntries_FG_EXSYNCON),
    integer("Trigger/Legacy", "FG_EXPOSURE", "FG_EXPOSURE", 10, 124990, 10, 7, 1, nullptr),
    real("Trigger/Legacy", "FG_EXSYNCDELAY", "FG_EXSYNCDELAY", 0, 10230, 10.0, 7, 2,
         "\xB5"
         "s"),
    enumeration("Trigger/Legacy", "FG_EXSYNCPOLARITY", "FG_EXSYNCPOLARITY", 7, 1,
                kEntries_FG_EXSYNCPOLARITY),
    real("Trigger/Legacy", "FG_STROBEPULSEDELAY", "FG_STROBEPULSEDELAY", 0, 10230, 10.0, 7, 2,
         "\xB5"
         "s"),
    enumeration("Trigger/Legacy", "FG_FLASH_POLARITY", "FG_FLASH_POLARITY", 7, 1,
                kEntries_FG_EXSYNCPOLARITY),
    real("Trigger/Legacy", "FG_PRESCALER", "FG_PRESCALER", 0.032, 1048.56, 0.016, 7, 1,
         "\xB5"
         "s"),
    enumeration("Trigger/Legacy", "FG_CCSEL0", "FG_CCSEL0", 7, 1, kEntries_FG_CCSEL0),
    enumeration("Trigger/Legacy", "FG_CCSEL1", "FG_CCSEL1", 7, 1, kEntries_FG_CCSEL0),
    enumeration("Trigger/Legacy", "FG_CCSEL2", "FG_CCSEL2", 7, 1, kEntries_FG_CCSEL0),
    enumeration("Trigger/Legacy", "FG_CCSEL3", "FG_CCSEL3", 7, 1, kEntries_FG_CCSEL0),
    integer("Trigger/Legacy", "FG_DIGIO_OUTPUT", "FG_DIGIO_OUTPUT", 0, 3, 1, 7, 1, nullptr),
    category("Trigger/Trigger Input"),
    category("Trigger/Trigger Input/External"),
    real("Trigger/Trigger Input/External", "FG_TRIGGERIN_DEBOUNCE", "Input Debounce", 0.096, 3.024,
         0.048, 7, 1,
         "\xB5"
         "s"),
    integer("Trigger/Trigger Input/External", "FG_DIGIO_INPUT", "Digital Input", 0, 255, 1, 1, 1,
            nullptr),
    enumeration("Trigger/Trigger Input/External", "FG_TRIGGERIN_SRC", "Source", 7, 1,
                kEntries_FG_TRIGGERIN_SRC),
    enumeration("Trigger/Trigger Input/External", "FG_TRIGGERIN_POLARITY", "Polarity", 7, 1,
                kEntries_FG_TRIGGERIN_POLARITY),
    integer("Trigger/Trigger Input/External", "FG_TRIGGERIN_DOWNSCALE", "Input Downscale", 1,
            2147483647, 1, 7, 2, nullptr),
    integer("Trigger/Trigger Input/External", "FG_TRIGGERIN_DOWNSCALE_PHASE", "Downscale Phase", 0,
            4294967294, 1, 7, 2, nullptr),
    enumeration("Trigger/Trigger Input/External", "FG_TRIGGERIN_BYPASS_SRC", "Bypass Source", 7, 1,
                kEntries_FG_TRIGGERIN_SRC),
    category("Trigger/Trigger Input/Software Trigger"),
    integer("Trigger/Trigger Input/Software Trigger", "FG_SENDSOFTWARETRIGGER", "Send Pulses", 1, 1,
            1, 7, 2, "pulses"),
    enumeration("Trigger/Trigger Input/Software Trigger", "FG_SOFTWARETRIGGER_IS_BUSY",
                "Software Trigger Busy", 1, 1, kEntries_FG_SOFTWARETRIGGER_IS_BUSY),
    integer("Trigger/Trigger Input/Software Trigger", "FG_SOFTWARETRIGGER_QUEUE_FILLLEVEL",
            "Software Trigger Queue Filllevel", 0, 2040, 1, 1, 2, "pulses"),
    category("Trigger/Trigger Input/Statistics"),
    integer("Trigger/Trigger Input/Statistics", "FG_TRIGGERIN_STATS_PULSECOUNT", "Input Pulses", 0,
            65535, 1, 1, 1, "pulses"),
    enumeration("Trigger/Trigger Input/Statistics", "FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR",
                "Clear Pulse Count", 7, 1, kEntries_FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR),
    real("Trigger/Trigger Input/Statistics", "FG_TRIGGERIN_STATS_FREQUENCY", "Current Frequency", 0,
         62500000, kEpsilon, 1, 1, "Hz"),
    real("Trigger/Trigger Input/Statistics", "FG_TRIGGERIN_STATS_MINFREQUENCY", "Minimum Frequency",
         0, 62500000, kEpsilon, 1, 1, "Hz"),
    real("Trigger/Trigger Input/Statistics", "FG_TRIGGERIN_STATS_MAXFREQUENCY", "Maximum Frequency",
         0, 62500000, kEpsilon, 1, 1, "Hz"),
    enumeration("Trigger/Trigger Input/Statistics", "FG_TRIGGERIN_STATS_MINMAXFREQUENCY_CLEAR",
                "Clear MinMax Frequency", 7, 1, kEntries_FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR),
    category("Trigger/Sequencer"),
    integer("Trigger/Sequencer", "FG_TRIGGER_MULTIPLY_PULSES", "Upscale Trigger Pulses", 1, 65535,
            1, 7, 1, nullptr),
    category("Trigger/Queue"),
    enumeration("Trigger/Queue", "FG_TRIGGERQUEUE_MODE", "Queue Mode", 7, 1, kEntries_FG_EXSYNCON),
    integer("Trigger/Queue", "FG_TRIGGERQUEUE_FILLLEVEL", "Filllevel", 0, 2040, 1, 1, 1, "pulses"),
    integer("Trigger/Queue", "FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_ON_THRESHOLD",
            "Queue Fill Level Event On Threshold", 2, 2047, 1, 7, 1, "pulses"),
    integer("Trigger/Queue", "FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_OFF_THRESHOLD",
            "Queue Fill Level Event Off Threshold", 2, 2047, 1, 7, 1, "pulses"),
    category("Trigger/Pulse Form Generator 0"),
    integer("Trigger/Pulse Form Generator 0", "FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE", "Downscale", 1,
            7, 1, 7, 2, nullptr),
    integer("Trigger/Pulse Form Generator 0", "FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE_PHASE", "Phase",
            0, 6, 1, 7, 2, nullptr),
    real("Trigger/Pulse Form Generator 0", "FG_TRIGGER_PULSEFORMGEN0_DELAY", "Delay", 0, 34000000,
         0.016, 7, 1,
         "\xB5"
         "s"),
    real("Trigger/Pulse Form Generator 0", "FG_TRIGGER_PULSEFORMGEN0_WIDTH", "Signal Width", 1,
         68000000, 0.016, 7, 1,
         "\xB5"
         "s"),
    category("Trigger/Pulse Form Generator 1"),
    integer("Trigger/Pulse Form Generator 1", "FG_TRIGGER_PULSEFORMGEN1_DOWNSCALE", "Downscale", 1,
            7, 1, 7, 2, nullptr),
    integer("Trigger/Pulse Form Generator 1", "FG_TRIGGER_PULSEFORMGEN1_DOWNSCALE_PHASE", "Phase",
            0, 6, 1, 7, 2, nullptr),
    real("Trigger/Pulse Form Generator 1", "FG_TRIGGER_PULSEFORMGEN1_DELAY", "Delay", 0, 34000000,
         0.016, 7, 1,
         "\xB5"
         "s"),
    real("Trigger/Pulse Form Generator 1", "FG_TRIGGER_PULSEFORMGEN1_WIDTH", "Signal Width", 1,
         68000000, 0.016, 7, 1,
         "\xB5"
         "s"),
    category("Trigger/Pulse Form Generator 2"),
    integer("Trigger/Pulse Form Generator 2", "FG_TRIGGER_PULSEFORMGEN2_DOWNSCALE", "Downscale", 1,
            7, 1, 7, 2, nullptr),
    integer("Trigger/Pulse Form Generator 2", "FG_TRIGGER_PULSEFORMGEN2_DOWNSCALE_PHASE", "Phase",
            0, 6, 1, 7, 2, nullptr),
    real("Trigger/Pulse Form Generator 2", "FG_TRIGGER_PULSEFORMGEN2_DELAY", "Delay", 0, 34000000,
         0.016, 7, 1,
         "\xB5"
         "s"),
    real("Trigger/Pulse Form Generator 2", "FG_TRIGGER_PULSEFORMGEN2_WIDTH", "Signal Width", 1,
         68000000, 0.016, 7, 1,
         "\xB5"
         "s"),
    category("Trigger/Pulse Form Generator 3"),
    integer("Trigger/Pulse Form Generator 3", "FG_TRIGGER_PULSEFORMGEN3_DOWNSCALE", "Downscale", 1,
            7, 1, 7, 2, nullptr),
    integer("Trigger/Pulse Form Generator 3", "FG_TRIGGER_PULSEFORMGEN3_DOWNSCALE_PHASE", "Phase",
            0, 6, 1, 7, 2, nullptr),
    real("Trigger/Pulse Form Generator 3", "FG_TRIGGER_PULSEFORMGEN3_DELAY", "Delay", 0, 34000000,
         0.016, 7, 1,
         "\xB5"
         "s"),
    real("Trigger/Pulse Form Generator 3", "FG_TRIGGER_PULSEFORMGEN3_WIDTH", "Signal Width", 1,
         68000000, 0.016, 7, 1,
         "\xB5"
         "s"),
    category("Trigger/CC Signal Mapping"),
    enumeration("Trigger/CC Signal Mapping", "FG_TRIGGERCC_SELECT0", "CC0", 7, 1,
                kEntries_FG_TRIGGERCC_SELECT0),
    enumeration("Trigger/CC Signal Mapping", "FG_TRIGGERCC_SELECT1", "CC1", 7, 1,
                kEntries_FG_TRIGGERCC_SELECT0),
    enumeration("Trigger/CC Signal Mapping", "FG_TRIGGERCC_SELECT2", "CC2", 7, 1,
                kEntries_FG_TRIGGERCC_SELECT0),
    enumeration("Trigger/CC Signal Mapping", "FG_TRIGGERCC_SELECT3", "CC3", 7, 1,
                kEntries_FG_TRIGGERCC_SELECT0),
    category("Trigger/Digital Output"),
    category("Trigger/Digital Output/Statistics"),
    enumeration("Trigger/Digital Output/Statistics", "FG_TRIGGER_EXCEEDED_PERIOD_LIMITS",
                "Trigger Exceeded Period Limits", 1, 1, kEntries_FG_USEDVAL),
    enumeration("Trigger/Digital Output/Statistics", "FG_TRIGGER_EXCEEDED_PERIOD_LIMITS_CLEAR",
                "Clear Exceeded Period Limits Register", 7, 1,
                kEntries_FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR),
    enumeration("Trigger/Digital Output/Statistics", "FG_TRIGGEROUT_STATS_SOURCE", "Source", 7, 1,
                kEntries_FG_TRIGGEROUT_STATS_SOURCE),
    integer("Trigger/Digital Output/Statistics", "FG_TRIGGEROUT_STATS_PULSECOUNT", "Pulse Count", 0,
            65535, 1, 1, 1, "pulses"),
    enumeration("Trigger/Digital Output/Statistics", "FG_TRIGGEROUT_STATS_PULSECOUNT_CLEAR",
                "Clear pulse counter", 7, 1, kEntries_FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR),
    enumeration("Trigger/Digital Output/Statistics", "FG_MISSING_CAMERA_FRAME_RESPONSE",
                "Missing Camera Frame Response", 1, 1, kEntries_FG_USEDVAL),
    enumeration("Trigger/Digital Output/Statistics", "FG_MISSING_CAMERA_FRAME_RESPONSE_CLEAR",
                "Clear Frame Response Register", 7, 1,
                kEntries_FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR),
    enumeration("Trigger/Digital Output", "FG_TRIGGEROUT_SELECT0", "Output 0", 7, 1,
                kEntries_FG_TRIGGEROUT_SELECT0),
    enumeration("Trigger/Digital Output", "FG_TRIGGEROUT_SELECT1", "Output 1", 7, 1,
                kEntries_FG_TRIGGEROUT_SELECT0),
    enumeration("Trigger/Digital Output", "FG_TRIGGEROUT_SELECT2", "Output 2", 7, 1,
                kEntries_FG_TRIGGEROUT_SELECT0),
    enumeration("Trigger/Digital Output", "FG_TRIGGEROUT_SELECT3", "Output 3", 7, 1,
                kEntries_FG_TRIGGEROUT_SELECT0),
    enumeration("Trigger/Digital Output", "FG_TRIGGEROUT_SELECT4", "Output 4", 7, 1,
                kEntries_FG_TRIGGEROUT_SELECT0),
    enumeration("Trigger/Digital Output", "FG_TRIGGEROUT_SELECT5", "Output 5", 7, 1,
                kEntries_FG_TRIGGEROUT_SELECT0),
    enumeration("Trigger/Digital Output", "FG_TRIGGEROUT_SELECT6", "Output 6", 7, 1,
                kEntries_FG_TRIGGEROUT_SELECT0),
    enumeration("Trigger/Digital Output", "FG_TRIGGEROUT_SELECT7", "Output 7", 7, 1,
                kEntries_FG_TRIGGEROUT_SELECT0),
    category("Trigger/Output Event"),
    enumeration("Trigger/Output Event", "FG_TRIGGER_OUTPUT_EVENT_SELECT", "Output Event Select", 7,
                1, kEntries_FG_TRIGGEROUT_STATS_SOURCE),
    enumeration("Trigger", "FG_AREATRIGGERMODE", "Area Trigger Mode", 7, 1,
                kEntries_FG_AREATRIGGERMODE),
    enumeration("Trigger", "FG_TRIGGERSTATE", "Trigger State", 7, 1, kEntries_FG_TRIGGERSTATE),
    real("Trigger", "FG_TRIGGER_FRAMESPERSECOND", "Frames/Sec", kMinimumFrameRate, 6250000,
         kEpsilon, 7, 2, "Hz"),
    enumeration("Trigger", "FG_TRIGGER_LEGACY_MODE", "Trigger Legacy Mode", 7, 1,
                kEntries_FG_EXSYNCON),
    category("Overflow"),
    integer("Overflow", "FG_FILLLEVEL", "Buffer fill level", 0, 100, 1, 1, 1, "%"),
    integer("Overflow", "FG_OVERFLOW", "Buffer overflow", 0, 1, 1, 1, 1, nullptr),
    category("Image Selector"),
    integer("Image Selector", "FG_IMG_SELECT_PERIOD", "Image select period", 1, 256, 1, 7, 1,
            "image"),
    integer("Image Selector", "FG_IMG_SELECT", "Image select", 0, 255, 1, 7, 1, "image"),
    category("Lookup Table"),
    category("Lookup Table/Applet Properties"),
    enumeration("Lookup Table/Applet Properties", "FG_LUT_IMPLEMENTATION_TYPE",
                "LUT Implementation Type", 1, 1, kEntries_FG_LUT_IMPLEMENTATION_TYPE),
    integer("Lookup Table/Applet Properties", "FG_LUT_IN_BITS", "LUT In Bits", 0, 0, 0, 1, 1,
            "bit"),
    integer("Lookup Table/Applet Properties", "FG_LUT_OUT_BITS", "LUT Out Bits", 0, 0, 0, 1, 1,
            "bit"),
    enumeration("Lookup Table", "FG_LUT_TYPE", "Type", 7, 1, kEntries_FG_LUT_TYPE),
    field("Lookup Table", "FG_LUT_VALUE", "LUT Values", 7, 1, 4096, 0, 4095),
    string("Lookup Table", "FG_LUT_CUSTOM_FILE", "Load File", 7, 1, "*.lut"),
    string("Lookup Table", "FG_LUT_SAVE_FILE", "Save File", 7, 1, "*.lut"),
    category("Processing"),
    real("Processing", "FG_PROCESSING_OFFSET", "Offset", -1, 1, kEpsilon, 7, 1, nullptr),
    real("Processing", "FG_PROCESSING_GAIN", "Gain", 0, 4096, kEpsilon, 7, 1, nullptr),
    real("Processing", "FG_PROCESSING_GAMMA", "Gamma", -1000, 1000, kEpsilon, 7, 1, nullptr),
    enumeration("Processing", "FG_PROCESSING_INVERT", "Invert", 7, 1, kEntries_FG_EXSYNCON),
    category("Output Format"),
    enumeration("Output Format", "FG_FORMAT", "Output Format", 3, 1, kEntries_FG_FORMAT),
    enumeration("Output Format", "FG_BITALIGNMENT", "Alignment", 7, 1, kEntries_FG_BITALIGNMENT),
    integer("Output Format", "FG_PIXELDEPTH", "Pixel Depth", 0, 128, 1, 1, 1, "bit"),
    category("Camera Simulator"),
    enumeration("Camera Simulator", "FG_GEN_ENABLE", "Image Source", 7, 1, kEntries_FG_GEN_ENABLE),
    enumeration("Camera Simulator", "FG_GEN_START", "Image Start", 7, 1, kEntries_FG_EXSYNCON),
    integer("Camera Simulator", "FG_GEN_WIDTH", "Width", 0, 65535, 1, 7, 1, "pixel"),
    integer("Camera Simulator", "FG_GEN_HEIGHT", "Height", 0, 65535, 1, 7, 1, "pixel"),
    integer("Camera Simulator", "FG_GEN_LINE_GAP", "Line Gap", 0, 65535, 1, 7, 1, "pixel"),
    real("Camera Simulator", "FG_GEN_FREQ", "Frequency", 3.0, 125, 1, 7, 2, "MHz"),
    integer("Camera Simulator", "FG_GEN_ACCURACY", "Accuracy", 1, 65535, 1, 7, 2, nullptr),
    enumeration("Camera Simulator", "FG_GEN_TAP1", "Tap 1", 7, 1, kEntries_FG_EXSYNCON),
    enumeration("Camera Simulator", "FG_GEN_TAP2", "Tap 2", 7, 1, kEntries_FG_EXSYNCON),
    enumeration("Camera Simulator", "FG_GEN_TAP3", "Tap 3", 7, 1, kEntries_FG_EXSYNCON),
    enumeration("Camera Simulator", "FG_GEN_TAP4", "Tap 4", 7, 1, kEntries_FG_EXSYNCON),
    integer("Camera Simulator", "FG_GEN_ROLL", "Roll", 0, 255, 1, 7, 1, nullptr),
    integer("Camera Simulator", "FG_GEN_ACTIVE", "Active", 0, 65535, 1, 1, 1, nullptr),
    integer("Camera Simulator", "FG_GEN_PASSIVE", "Passive", 0, 65535, 1, 1, 1, nullptr),
    integer("Camera Simulator", "FG_GEN_LINE_WIDTH", "Line Width", 0, 65535, 1, 1, 1, "pixel"),
    category("Miscellaneous"),
    integer("Miscellaneous", "FG_TIMEOUT", "Timeout", 2, 2147483646, 1, 7, 1, "seconds"),
    integer("Miscellaneous", "FG_TURBO_DMA_MODE", "Turbo DMA Mode", 0, 1, 1, 3, 1, nullptr),
    integer("Miscellaneous", "FG_APPLET_VERSION", "Applet version", 0, 0, 0, 1, 1, nullptr),
    integer("Miscellaneous", "FG_APPLET_REVISION", "Applet revision", 0, 0, 0, 1, 1, nullptr),
    integer("Miscellaneous", "FG_APPLET_ID", "Applet Id", 0, 0, 0, 1, 1, nullptr),
    string("Miscellaneous", "FG_HAP_FILE", "HAP file", 1, 1, "*.hap"),
    integer("Miscellaneous", "FG_DMASTATUS", "DMA Status", 0, 0, 0, 1, 1, nullptr),
    integer("Miscellaneous", "FG_CAMSTATUS", "Camera Status", 0, 1, 1, 1, 1, nullptr),
    integer("Miscellaneous", "FG_CAMSTATUS_EXTENDED", "Camera Status Extended", 0, 255, 1, 1, 1,
            nullptr),
};

// Limits beyond 2^31 - 1 are stored as the unsigned 32-bit pattern the record carries.
int32_t int32Limit(double v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(v)));
}

} // namespace

void FgXeWrapperImpl::buildParameterInfo() {
    ParameterInfoTree& tree = parameterInfoTree();
    std::map<std::string_view, ParameterInfoNode*> categories;

    for (const NodeRow& row : kRows) {
        std::string_view path = row.path;
        if (row.kind == RowKind::Category) {
            auto slash = path.rfind('/');
            ParameterInfoNode* parent =
                slash == std::string_view::npos ? nullptr : categories[path.substr(0, slash)];
            std::string display(slash == std::string_view::npos ? path : path.substr(slash + 1));
            categories[path] = tree.createCategory(kPort, parent, display.c_str());
            continue;
        }
        ParameterInfoNode* parent = categories[path];
        int32_t id = tableParameterId(row.name);
        NodeAttributes a{row.displayName, row.name, row.access, row.level, 1, row.unit, id, kPort};
        ParameterInfoNode* node = nullptr;
        switch (row.kind) {
        case RowKind::Integer:
            node = tree.createInteger(parent, a, PI_KIND_INT32, int32Limit(row.min),
                                      int32Limit(row.max), int32Limit(row.inc));
            break;
        case RowKind::Double:
            node = tree.createDouble(parent, a, row.min, row.max, row.inc);
            break;
        case RowKind::Enumeration:
            node = tree.createEnumeration(parent, a, row.entryCount);
            for (int32_t i = 0; node != nullptr && i < row.entryCount; ++i) {
                // A failed copy leaves the entry empty; the tree stays usable.
                (void)tree.setEntry(node, i, row.entries[i].displayName, row.entries[i].value,
                                    row.entries[i].symbol);
            }
            break;
        case RowKind::String:
            node = tree.createString(parent, a, row.pattern);
            break;
        case RowKind::Field:
            node = tree.createField(parent, a, row.entryCount, int32Limit(row.min),
                                    int32Limit(row.max));
            break;
        case RowKind::Category:
            break;
        }
        indexInfoNode(kPort, id, node);
    }

    buildRegisterAccessSection();
    buildPassThroughSection();
}

} // namespace pellvane
