#include "parameters/ParameterTable.h"

#include <algorithm>
#include <unordered_map>

namespace pellvane {

// Registration order is the order of this table: a parameter's index is its row. Setters and
// getters are bound by the modules that own the parameters (see ParameterBinding).
const std::array<ParameterDef, kParameterCount> kParameters = {{
    {"FG_TIMEOUT", 600, ValueType::Integer, Access::ReadWrite,
     "Internal framegrabber image timeout. This is independend of the runtime timeout value."},
    {"FG_TURBO_DMA_MODE", 3051, ValueType::Integer, Access::ReadWrite,
     "Enables a maximum DMA performance"},
    {"FG_APPLET_VERSION", 24020, ValueType::Integer, Access::ReadOnly,
     "Returns the applet version."},
    {"FG_APPLET_REVISION", 24030, ValueType::Integer, Access::ReadOnly,
     "Returns the applet revision."},
    {"FG_APPLET_ID", 24010, ValueType::Integer, Access::ReadOnly, "Returns the applet id."},
    {"FG_HAP_FILE", 24108, ValueType::String, Access::ReadOnly,
     "The name of the Hardware-Applet (HAP) file on which this Mirrowen is based."},
    {"FG_DMASTATUS", 24092, ValueType::Integer, Access::ReadOnly,
     "Returns the status of the DMA transmission."},
    {"FG_CAMSTATUS", 2000, ValueType::Integer, Access::ReadOnly,
     "Returns the status of a connected CameraLink camera. For CoaXPress this is not of interest."},
    {"FG_CAMSTATUS_EXTENDED", 2050, ValueType::Integer, Access::ReadOnly,
     "Returns the extended status of the camera. Bit = meaning: 0 = CameraPixelClk, 1 = "
     "CameraLval, 2 = CameraFval, 3 = Camera CC1 Signal, 4 = ExTrg / external trigger, 5 = "
     "BufferOverflow, 6 = BufferStatus-LSB, 7 = BufferStatus-MSB"},
    {"FG_TRANSFER_LEN", 5210, ValueType::HostDefined, Access::HostServed, ""},
    {"FG_NR_OF_PROCESSES", 3070, ValueType::HostDefined, Access::HostServed, ""},
    {"FG_NR_OF_DMAS", 3050, ValueType::HostDefined, Access::HostServed, ""},
    {"FG_NR_OF_CAMS", 3060, ValueType::HostDefined, Access::HostServed, ""},
    {"FG_DMA_PORT", 3080, ValueType::HostDefined, Access::HostServed, ""},
    {"FG_CAM_PORT", 3090, ValueType::HostDefined, Access::HostServed, ""},
    {"FG_APC_STOP_TIMEOUT", 601, ValueType::HostDefined, Access::HostServed, ""},
    {"FG_CAMERA_LINK_CAMTYPE", 11011, ValueType::Enumeration, Access::ReadWrite,
     "Select the Camera Link Mode."},
    {"FG_USEDVAL", 5025, ValueType::Enumeration, Access::ReadWrite,
     "Use the Camera Link DVAL signal or ignore it."},
    {"FG_WIDTH", 100, ValueType::Integer, Access::ReadWrite, "Image width of the acquisition ROI."},
    {"FG_HEIGHT", 200, ValueType::Integer, Access::ReadWrite,
     "Image height of the acquisition ROI."},
    {"FG_XOFFSET", 300, ValueType::Integer, Access::ReadWrite, "X-offset of the acquisition ROI."},
    {"FG_YOFFSET", 400, ValueType::Integer, Access::ReadWrite, "Y-offset of the acquisition ROI."},
    {"FG_FILLLEVEL", 110086, ValueType::Integer, Access::ReadOnly, "Fill level of the buffers."},
    {"FG_OVERFLOW", 110087, ValueType::Integer, Access::ReadOnly,
     "Signals if the image buffer is in overflow state."},
    {"FG_FORMAT", 700, ValueType::Enumeration, Access::ReadWrite,
     "Pixel format of the output image."},
    {"FG_BITALIGNMENT", 4010, ValueType::Enumeration, Access::ReadWrite,
     "Defines if the output data are right aligned or left aligned."},
    {"FG_PIXELDEPTH", 4000, ValueType::Integer, Access::ReadOnly,
     "Internal processing bit depth of the applet."},
    {"FG_GEN_ENABLE", 30099, ValueType::Enumeration, Access::ReadWrite,
     "Use internal frame generator or CameraLink input."},
    {"FG_GEN_START", 30113, ValueType::Enumeration, Access::ReadWrite, ""},
    {"FG_GEN_WIDTH", 30102, ValueType::Integer, Access::ReadWrite, ""},
    {"FG_GEN_HEIGHT", 30104, ValueType::Integer, Access::ReadWrite, ""},
    {"FG_GEN_LINE_GAP", 30105, ValueType::Integer, Access::ReadWrite, ""},
    {"FG_GEN_FREQ", 30106, ValueType::Double, Access::ReadWrite, ""},
    {"FG_GEN_ACCURACY", 30107, ValueType::Integer, Access::ReadWrite, ""},
    {"FG_GEN_TAP1", 30108, ValueType::Enumeration, Access::ReadWrite, ""},
    {"FG_GEN_TAP2", 30109, ValueType::Enumeration, Access::ReadWrite, ""},
    {"FG_GEN_TAP3", 30110, ValueType::Enumeration, Access::ReadWrite, ""},
    {"FG_GEN_TAP4", 30111, ValueType::Enumeration, Access::ReadWrite, ""},
    {"FG_GEN_ROLL", 30112, ValueType::Integer, Access::ReadWrite, ""},
    {"FG_GEN_ACTIVE", 30101, ValueType::Integer, Access::ReadOnly, ""},
    {"FG_GEN_PASSIVE", 30100, ValueType::Integer, Access::ReadOnly, ""},
    {"FG_GEN_LINE_WIDTH", 30103, ValueType::Integer, Access::ReadOnly, ""},
    {"FG_IMG_SELECT_PERIOD", 25110, ValueType::Integer, Access::ReadWrite,
     "Select the length of an image sequence. Only a single image of the sequence is grabbed."},
    {"FG_IMG_SELECT", 25111, ValueType::Integer, Access::ReadWrite,
     "Defines which image in a sequence is grabbed."},
    {"FG_LUT_TYPE", 110017, ValueType::Enumeration, Access::ReadWrite,
     "Enables the LUT to be load with custom values or use the applet's processor."},
    {"FG_LUT_IMPLEMENTATION_TYPE", 300006, ValueType::Enumeration, Access::ReadOnly,
     "Type of LUT implementation."},
    {"FG_LUT_IN_BITS", 300007, ValueType::Integer, Access::ReadOnly,
     "Pixel bit depth at LUT input."},
    {"FG_LUT_OUT_BITS", 300008, ValueType::Integer, Access::ReadOnly,
     "Pixel bit depth at LUT output."},
    {"FG_LUT_VALUE", 300001, ValueType::LutField, Access::ReadWrite, "Field with LUT Values."},
    {"FG_LUT_CUSTOM_FILE", 300000, ValueType::String, Access::ReadWrite,
     "Filename with custom lookup table values."},
    {"FG_LUT_SAVE_FILE", 110021, ValueType::String, Access::ReadWrite,
     "Save current LUT configuration."},
    {"FG_PROCESSING_OFFSET", 300004, ValueType::Double, Access::ReadWrite,
     "Offset correction value. Available when LUT functionality is enabled."},
    {"FG_PROCESSING_GAIN", 300002, ValueType::Double, Access::ReadWrite,
     "Gain correction value. Available when LUT functionality is enabled."},
    {"FG_PROCESSING_GAMMA", 300003, ValueType::Double, Access::ReadWrite,
     "Gamma correction value. Available when LUT functionality is enabled."},
    {"FG_PROCESSING_INVERT", 300005, ValueType::Enumeration, Access::ReadWrite,
     "Invert output. Available when LUT functionality is enabled."},
    {"FG_AREATRIGGERMODE", 300200, ValueType::Enumeration, Access::ReadWrite,
     "Trigger mode for the area trigger signal generation."},
    {"FG_TRIGGERSTATE", 300201, ValueType::Enumeration, Access::ReadWrite,
     "State of the trigger system."},
    {"FG_TRIGGER_FRAMESPERSECOND", 90, ValueType::Double, Access::ReadWrite,
     "Base frequency (=frame rate) of the trigger output."},
    {"FG_TRIGGER_EXCEEDED_PERIOD_LIMITS", 300202, ValueType::Enumeration, Access::ReadOnly,
     "The trigger input signal frequency exceeds the allowed output frequency."},
    {"FG_TRIGGER_EXCEEDED_PERIOD_LIMITS_CLEAR", 300203, ValueType::Enumeration, Access::ReadWrite,
     "Clear the exceeded period limits register."},
    {"FG_TRIGGERIN_DEBOUNCE", 300204, ValueType::Double, Access::ReadWrite,
     "Set the debounce time for trigger input signals."},
    {"FG_DIGIO_INPUT", 14010, ValueType::Integer, Access::ReadOnly,
     "Current input signal levels of all inputs (Bitmask)."},
    {"FG_TRIGGERIN_SRC", 8110, ValueType::Enumeration, Access::ReadWrite,
     "Select the trigger input source for external trigger mode."},
    {"FG_TRIGGERIN_POLARITY", 8116, ValueType::Enumeration, Access::ReadWrite,
     "Polarity of the trigger input signal."},
    {"FG_TRIGGERIN_DOWNSCALE", 300205, ValueType::Integer, Access::ReadWrite,
     "Downscale of the trigger input signals."},
    {"FG_TRIGGERIN_DOWNSCALE_PHASE", 300206, ValueType::Integer, Access::ReadWrite,
     "Select the pulse index for each downscale series."},
    {"FG_TRIGGERIN_BYPASS_SRC", 300243, ValueType::Enumeration, Access::ReadWrite,
     "Select the trigger input source for external trigger mode."},
    {"FG_SENDSOFTWARETRIGGER", 8800, ValueType::Integer, Access::ReadWrite,
     "Add pulses to trigger queue."},
    {"FG_SOFTWARETRIGGER_IS_BUSY", 110075, ValueType::Enumeration, Access::ReadOnly,
     "Check if the trigger system is still processing software trigger pulses."},
    {"FG_SOFTWARETRIGGER_QUEUE_FILLLEVEL", 8802, ValueType::Integer, Access::ReadOnly,
     "Number of pulses in queue which have to be processed."},
    {"FG_TRIGGERIN_STATS_PULSECOUNT", 300207, ValueType::Integer, Access::ReadOnly,
     "Pulse count of input."},
    {"FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR", 300208, ValueType::Enumeration, Access::ReadWrite,
     "Clear the input signal pulse counter."},
    {"FG_TRIGGERIN_STATS_FREQUENCY", 300209, ValueType::Double, Access::ReadOnly,
     "Current Frequency of the input pulses."},
    {"FG_TRIGGERIN_STATS_MINFREQUENCY", 300210, ValueType::Double, Access::ReadOnly,
     "The detected minimum input frequency."},
    {"FG_TRIGGERIN_STATS_MAXFREQUENCY", 300211, ValueType::Double, Access::ReadOnly,
     "The detected maximum input frequency."},
    {"FG_TRIGGERIN_STATS_MINMAXFREQUENCY_CLEAR", 300212, ValueType::Enumeration, Access::ReadWrite,
     "Clear minimum and maximum frequency measurement."},
    {"FG_TRIGGER_MULTIPLY_PULSES", 300213, ValueType::Integer, Access::ReadWrite,
     "Upscale i.e. duplicate each external or software generated trigger pulse with a period "
     "specified by FG_TRIGGER_FRAMESPERSEC."},
    {"FG_TRIGGERQUEUE_MODE", 300214, ValueType::Enumeration, Access::ReadWrite,
     "Enable or disable the trigger queue and output frequency limitation specified by "
     "FG_TRIGGER_FRAMESPERSEC."},
    {"FG_TRIGGERQUEUE_FILLLEVEL", 300215, ValueType::Integer, Access::ReadOnly,
     "Filllevel of trigger queue."},
    {"FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_ON_THRESHOLD", 300240, ValueType::Integer, Access::ReadWrite,
     "Set the threshold for generating a queue fill level ON event."},
    {"FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_OFF_THRESHOLD", 300241, ValueType::Integer,
     Access::ReadWrite, "Set the threshold for generating a queue fill level OFF event."},
    {"FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE", 300216, ValueType::Integer, Access::ReadWrite,
     "Downscale factor of the pulse form generator input."},
    {"FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE_PHASE", 300217, ValueType::Integer, Access::ReadWrite,
     "Select the pulse index for each downscale series."},
    {"FG_TRIGGER_PULSEFORMGEN0_DELAY", 300218, ValueType::Double, Access::ReadWrite,
     "Delay between the input and the output."},
    {"FG_TRIGGER_PULSEFORMGEN0_WIDTH", 300219, ValueType::Double, Access::ReadWrite,
     "Signal Output Width."},
    {"FG_TRIGGER_PULSEFORMGEN1_DOWNSCALE", 300220, ValueType::Integer, Access::ReadWrite,
     "Downscale factor of the pulse form generator input."},
    {"FG_TRIGGER_PULSEFORMGEN1_DOWNSCALE_PHASE", 300221, ValueType::Integer, Access::ReadWrite,
     "Select the pulse index for each downscale series."},
    {"FG_TRIGGER_PULSEFORMGEN1_DELAY", 300222, ValueType::Double, Access::ReadWrite,
     "Delay between the input and the output."},
    {"FG_TRIGGER_PULSEFORMGEN1_WIDTH", 300223, ValueType::Double, Access::ReadWrite,
     "Signal Output Width."},
    {"FG_TRIGGER_PULSEFORMGEN2_DOWNSCALE", 300224, ValueType::Integer, Access::ReadWrite,
     "Downscale factor of the pulse form generator input."},
    {"FG_TRIGGER_PULSEFORMGEN2_DOWNSCALE_PHASE", 300225, ValueType::Integer, Access::ReadWrite,
     "Select the pulse index for each downscale series."},
    {"FG_TRIGGER_PULSEFORMGEN2_DELAY", 300226, ValueType::Double, Access::ReadWrite,
     "Delay between the input and the output."},
    {"FG_TRIGGER_PULSEFORMGEN2_WIDTH", 300227, ValueType::Double, Access::ReadWrite,
     "Signal Output Width."},
    {"FG_TRIGGER_PULSEFORMGEN3_DOWNSCALE", 300228, ValueType::Integer, Access::ReadWrite,
     "Downscale factor of the pulse form generator input."},
    {"FG_TRIGGER_PULSEFORMGEN3_DOWNSCALE_PHASE", 300229, ValueType::Integer, Access::ReadWrite,
     "Select the pulse index for each downscale series."},
    {"FG_TRIGGER_PULSEFORMGEN3_DELAY", 300230, ValueType::Double, Access::ReadWrite,
     "Delay between the input and the output."},
    {"FG_TRIGGER_PULSEFORMGEN3_WIDTH", 300231, ValueType::Double, Access::ReadWrite,
     "Signal Output Width."},
    {"FG_TRIGGERCC_SELECT0", 300250, ValueType::Enumeration, Access::ReadWrite,
     "Select the output source."},
    {"FG_TRIGGERCC_SELECT1", 300251, ValueType::Enumeration, Access::ReadWrite,
     "Select the output source."},
    {"FG_TRIGGERCC_SELECT2", 300252, ValueType::Enumeration, Access::ReadWrite,
     "Select the output source."},
    {"FG_TRIGGERCC_SELECT3", 300253, ValueType::Enumeration, Access::ReadWrite,
     "Select the output source."},
    {"FG_TRIGGEROUT_SELECT0", 300232, ValueType::Enumeration, Access::ReadWrite,
     "Select the output source. Note the differing pin allocation for each camera."},
    {"FG_TRIGGEROUT_SELECT1", 300233, ValueType::Enumeration, Access::ReadWrite,
     "Select the output source. Note the differing pin allocation for each camera."},
    {"FG_TRIGGEROUT_SELECT2", 300234, ValueType::Enumeration, Access::ReadWrite,
     "Select the output source. Note the differing pin allocation for each camera."},
    {"FG_TRIGGEROUT_SELECT3", 300235, ValueType::Enumeration, Access::ReadWrite,
     "Select the output source. Note the differing pin allocation for each camera."},
    {"FG_TRIGGEROUT_SELECT4", 300244, ValueType::Enumeration, Access::ReadWrite,
     "Select the output source. Note the differing pin allocation for each camera."},
    {"FG_TRIGGEROUT_SELECT5", 300245, ValueType::Enumeration, Access::ReadWrite,
     "Select the output source. Note the differing pin allocation for each camera."},
    {"FG_TRIGGEROUT_SELECT6", 300246, ValueType::Enumeration, Access::ReadWrite,
     "Select the output source. Note the differing pin allocation for each camera."},
    {"FG_TRIGGEROUT_SELECT7", 300247, ValueType::Enumeration, Access::ReadWrite,
     "Select the output source. Note the differing pin allocation for each camera."},
    {"FG_TRIGGEROUT_STATS_SOURCE", 300236, ValueType::Enumeration, Access::ReadWrite,
     "Select the pulse form generator which has to be analyzed."},
    {"FG_TRIGGEROUT_STATS_PULSECOUNT", 300237, ValueType::Integer, Access::ReadOnly,
     "Pulse count."},
    {"FG_TRIGGEROUT_STATS_PULSECOUNT_CLEAR", 300238, ValueType::Enumeration, Access::ReadWrite,
     "Clear pulse counter."},
    {"FG_MISSING_CAMERA_FRAME_RESPONSE", 300248, ValueType::Enumeration, Access::ReadOnly,
     "Frame grabber received no frame for trigger pulse."},
    {"FG_MISSING_CAMERA_FRAME_RESPONSE_CLEAR", 300249, ValueType::Enumeration, Access::ReadWrite,
     "Clear Missing Camera Frame Response Register."},
    {"FG_TRIGGER_OUTPUT_EVENT_SELECT", 300242, ValueType::Enumeration, Access::ReadWrite,
     "Select the pulse form generator for event monitoring."},
    {"FG_TRIGGER_LEGACY_MODE", 300254, ValueType::Enumeration, Access::ReadWrite,
     "Activates the legacy mode."},
    {"FG_TRIGGERMODE", 8100, ValueType::Enumeration, Access::ReadWrite, "FG_TRIGGERMODE"},
    {"FG_EXSYNCON", 8300, ValueType::Enumeration, Access::ReadWrite, "FG_EXSYNCON"},
    {"FG_FLASHON", 8600, ValueType::Enumeration, Access::ReadWrite, "FG_FLASHON"},
    {"FG_EXPOSURE", 10020, ValueType::Integer, Access::ReadWrite, "FG_EXPOSURE"},
    {"FG_EXSYNCDELAY", 8400, ValueType::Double, Access::ReadWrite, "FG_EXSYNCDELAY"},
    {"FG_EXSYNCPOLARITY", 8420, ValueType::Enumeration, Access::ReadWrite, "FG_EXSYNCPOLARITY"},
    {"FG_STROBEPULSEDELAY", 8700, ValueType::Double, Access::ReadWrite, "FG_STROBEPULSEDELAY"},
    {"FG_FLASH_POLARITY", 24060, ValueType::Enumeration, Access::ReadWrite, "FG_FLASH_POLARITY"},
    {"FG_PRESCALER", 10050, ValueType::Double, Access::ReadWrite, "FG_PRESCALER"},
    {"FG_CCSEL0", 14001, ValueType::Enumeration, Access::ReadWrite, "FG_CCSEL0"},
    {"FG_CCSEL1", 14002, ValueType::Enumeration, Access::ReadWrite, "FG_CCSEL1"},
    {"FG_CCSEL2", 14003, ValueType::Enumeration, Access::ReadWrite, "FG_CCSEL2"},
    {"FG_CCSEL3", 14004, ValueType::Enumeration, Access::ReadWrite, "FG_CCSEL3"},
    {"FG_DIGIO_OUTPUT", 14020, ValueType::Integer, Access::ReadWrite, "FG_DIGIO_OUTPUT"},
}};

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
    if (id == kDescriptionQueryId) return true;
    const ParameterDef* p = findParameter(id);
    return p != nullptr && p->access != Access::ReadWrite;
}

} // namespace pellvane
