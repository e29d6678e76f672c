// Moving the whole parameter set through a configuration file, parameter by parameter.
#include "entry/FgXeWrapperImpl.h"
#include "files/ConfigFileParser.h"
#include "host/ErrorCodes.h"
#include "parameters/ParameterTable.h"

#include <cstring>
#include <string>

namespace pellvane {

namespace {

constexpr int32_t kPort = 0;

enum class Form : uint8_t { Number, Double, Text };

struct ConfigKey {
    const char* name;
    Form form;
    bool fromGetter; // timing values are saved as their getter answers (register-derived)
};

// The keys of a configuration file, in the order they are written and applied: every writable
// parameter but the lookup-table entries, the save-file name, the software trigger and the
// clear commands.
constexpr ConfigKey kKeys[] = {
    {"FG_TIMEOUT", Form::Number, false},
    {"FG_TURBO_DMA_MODE", Form::Number, false},
    {"FG_CAMERA_LINK_CAMTYPE", Form::Number, false},
    {"FG_USEDVAL", Form::Number, false},
    {"FG_WIDTH", Form::Number, false},
    {"FG_HEIGHT", Form::Number, false},
    {"FG_XOFFSET", Form::Number, false},
    {"FG_YOFFSET", Form::Number, false},
    {"FG_FORMAT", Form::Number, false},
    {"FG_BITALIGNMENT", Form::Number, false},
    {"FG_GEN_ENABLE", Form::Number, false},
    {"FG_GEN_START", Form::Number, false},
    {"FG_GEN_WIDTH", Form::Number, false},
    {"FG_GEN_HEIGHT", Form::Number, false},
    {"FG_GEN_LINE_GAP", Form::Number, false},
    {"FG_GEN_FREQ", Form::Double, false},
    {"FG_GEN_ACCURACY", Form::Number, false},
    {"FG_GEN_TAP1", Form::Number, false},
    {"FG_GEN_TAP2", Form::Number, false},
    {"FG_GEN_TAP3", Form::Number, false},
    {"FG_GEN_TAP4", Form::Number, false},
    {"FG_GEN_ROLL", Form::Number, false},
    {"FG_IMG_SELECT_PERIOD", Form::Number, false},
    {"FG_IMG_SELECT", Form::Number, false},
    {"FG_LUT_TYPE", Form::Number, false},
    {"FG_LUT_CUSTOM_FILE", Form::Text, false},
    {"FG_PROCESSING_OFFSET", Form::Double, false},
    {"FG_PROCESSING_GAIN", Form::Double, false},
    {"FG_PROCESSING_GAMMA", Form::Double, false},
    {"FG_PROCESSING_INVERT", Form::Number, false},
    {"FG_AREATRIGGERMODE", Form::Number, false},
    {"FG_TRIGGERSTATE", Form::Number, false},
    {"FG_TRIGGER_FRAMESPERSECOND", Form::Double, true},
    {"FG_TRIGGERIN_DEBOUNCE", Form::Double, true},
    {"FG_TRIGGERIN_SRC", Form::Number, false},
    {"FG_TRIGGERIN_POLARITY", Form::Number, false},
    {"FG_TRIGGERIN_DOWNSCALE", Form::Number, false},
    {"FG_TRIGGERIN_DOWNSCALE_PHASE", Form::Number, false},
    {"FG_TRIGGERIN_BYPASS_SRC", Form::Number, false},
    {"FG_TRIGGER_MULTIPLY_PULSES", Form::Number, false},
    {"FG_TRIGGERQUEUE_MODE", Form::Number, false},
    {"FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_ON_THRESHOLD", Form::Number, false},
    {"FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_OFF_THRESHOLD", Form::Number, false},
    {"FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE", Form::Number, false},
    {"FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE_PHASE", Form::Number, false},
    {"FG_TRIGGER_PULSEFORMGEN0_DELAY", Form::Double, true},
    {"FG_TRIGGER_PULSEFORMGEN0_WIDTH", Form::Double, true},
    {"FG_TRIGGER_PULSEFORMGEN1_DOWNSCALE", Form::Number, false},
    {"FG_TRIGGER_PULSEFORMGEN1_DOWNSCALE_PHASE", Form::Number, false},
    {"FG_TRIGGER_PULSEFORMGEN1_DELAY", Form::Double, true},
    {"FG_TRIGGER_PULSEFORMGEN1_WIDTH", Form::Double, true},
    {"FG_TRIGGER_PULSEFORMGEN2_DOWNSCALE", Form::Number, false},
    {"FG_TRIGGER_PULSEFORMGEN2_DOWNSCALE_PHASE", Form::Number, false},
    {"FG_TRIGGER_PULSEFORMGEN2_DELAY", Form::Double, true},
    {"FG_TRIGGER_PULSEFORMGEN2_WIDTH", Form::Double, true},
    {"FG_TRIGGER_PULSEFORMGEN3_DOWNSCALE", Form::Number, false},
    {"FG_TRIGGER_PULSEFORMGEN3_DOWNSCALE_PHASE", Form::Number, false},
    {"FG_TRIGGER_PULSEFORMGEN3_DELAY", Form::Double, true},
    {"FG_TRIGGER_PULSEFORMGEN3_WIDTH", Form::Double, true},
    {"FG_TRIGGERCC_SELECT0", Form::Number, false},
    {"FG_TRIGGERCC_SELECT1", Form::Number, false},
    {"FG_TRIGGERCC_SELECT2", Form::Number, false},
    {"FG_TRIGGERCC_SELECT3", Form::Number, false},
    {"FG_TRIGGEROUT_SELECT0", Form::Number, false},
    {"FG_TRIGGEROUT_SELECT1", Form::Number, false},
    {"FG_TRIGGEROUT_SELECT2", Form::Number, false},
    {"FG_TRIGGEROUT_SELECT3", Form::Number, false},
    {"FG_TRIGGEROUT_SELECT4", Form::Number, false},
    {"FG_TRIGGEROUT_SELECT5", Form::Number, false},
    {"FG_TRIGGEROUT_SELECT6", Form::Number, false},
    {"FG_TRIGGEROUT_SELECT7", Form::Number, false},
    {"FG_TRIGGEROUT_STATS_SOURCE", Form::Number, false},
    {"FG_TRIGGER_OUTPUT_EVENT_SELECT", Form::Number, false},
    {"FG_TRIGGER_LEGACY_MODE", Form::Number, false},
    {"FG_TRIGGERMODE", Form::Number, false},
    {"FG_EXSYNCON", Form::Number, false},
    {"FG_FLASHON", Form::Number, false},
    {"FG_EXPOSURE", Form::Number, false},
    {"FG_EXSYNCDELAY", Form::Double, false},
    {"FG_EXSYNCPOLARITY", Form::Number, false},
    {"FG_STROBEPULSEDELAY", Form::Double, false},
    {"FG_FLASH_POLARITY", Form::Number, false},
    {"FG_PRESCALER", Form::Double, false},
    {"FG_CCSEL0", Form::Number, false},
    {"FG_CCSEL1", Form::Number, false},
    {"FG_CCSEL2", Form::Number, false},
    {"FG_CCSEL3", Form::Number, false},
    {"FG_DIGIO_OUTPUT", Form::Number, false},
};
static_assert(std::size(kKeys) == 88);

// The user file name travels through a buffer of this size; longer names are cut.
constexpr std::size_t kFileNameBuffer = 1024;

bool is(const ConfigKey& key, const char* name) {
    return std::strcmp(key.name, name) == 0;
}

// The second pass leaves the lookup-table inputs to FG_LUT_TYPE, which uses the values the
// first pass stored, and starts with the legacy mode.
bool appliedInSecondPass(const ConfigKey& key) {
    return !is(key, "FG_LUT_CUSTOM_FILE") && !is(key, "FG_PROCESSING_OFFSET") &&
           !is(key, "FG_PROCESSING_GAIN") && !is(key, "FG_PROCESSING_GAMMA") &&
           !is(key, "FG_PROCESSING_INVERT") && !is(key, "FG_TRIGGER_LEGACY_MODE");
}

bool storedInFirstPass(const ConfigKey& key) {
    return !is(key, "FG_AREATRIGGERMODE") && !is(key, "FG_TRIGGERSTATE");
}

} // namespace

void FgXeWrapperImpl::saveParameters(Fg_ConfigFileParser& parser) {
    parser.writePortSection(kPort);
    for (const ConfigKey& key : kKeys) {
        ParameterEntry e = findEntry(tableParameterId(key.name));
        if (e.field == nullptr) continue;
        void* field = e.field(*this);
        switch (key.form) {
        case Form::Number: {
            int32_t v;
            std::memcpy(&v, field, sizeof v);
            parser.writeConfigFileIntKey(key.name, v);
            break;
        }
        case Form::Double: {
            double v;
            std::memcpy(&v, field, sizeof v);
            if (key.fromGetter && e.get != nullptr) {
                try {
                    e.get(*this, &v);
                } catch (int) {
                    // A register that cannot be read leaves the stored value in the file.
                }
            }
            parser.wrtiteConfigFileDoubleKey(key.name, v);
            break;
        }
        case Form::Text: {
            std::string name = *static_cast<std::string*>(field);
            if (name.size() >= kFileNameBuffer) name.resize(kFileNameBuffer - 1);
            parser.writeConfigFile(key.name, name.c_str());
            break;
        }
        }
    }
}

bool FgXeWrapperImpl::loadParameters(Fg_ConfigFileParser& parser) {
    // Reads one key into the parameter's field, or hands it to the setter (errors dropped).
    auto load = [&](const ConfigKey& key, bool apply) {
        ParameterEntry e = findEntry(tableParameterId(key.name));
        if (e.field == nullptr || (apply && e.set == nullptr)) return false;
        switch (key.form) {
        case Form::Number: {
            uint32_t v = 0;
            if (parser.parsePortIntKey(kPort, key.name, &v) != 0) return false;
            if (apply)
                e.set(*this, &v, false);
            else
                std::memcpy(e.field(*this), &v, sizeof v);
            return true;
        }
        case Form::Double: {
            double v = 0;
            if (parser.parsePortDoubleKey(kPort, key.name, &v) != 0) return false;
            if (apply)
                e.set(*this, &v, false);
            else
                std::memcpy(e.field(*this), &v, sizeof v);
            return true;
        }
        case Form::Text: {
            char buffer[kFileNameBuffer] = {};
            if (parser.parsePortKey(kPort, key.name, buffer) != 0) return false;
            if (apply)
                e.set(*this, buffer, false);
            else
                *static_cast<std::string*>(e.field(*this)) = buffer;
            return true;
        }
        }
        return false;
    };

    try {
        for (const ConfigKey& key : kKeys)
            if (storedInFirstPass(key) && !load(key, false)) return false;
        for (const ConfigKey& key : kKeys)
            if (is(key, "FG_TRIGGER_LEGACY_MODE") && !load(key, true)) return false;
        for (const ConfigKey& key : kKeys)
            if (appliedInSecondPass(key) && !load(key, true)) return false;
    } catch (int) {
        return false;
    }
    return true;
}

// The file itself: header, checks, and the parameter passes above.

int32_t FgXeWrapper::saveConfig(void*, const char* file) {
    Fg_ConfigFileParser parser;
    if (!parser.setSaveFile(file)) {
        setLastError(kFileIoFailed);
        return kFileIoFailed;
    }
    parser.writeConfigFileHeader();
    parser.writeConfigFile("Hersteller", getVendorName());
    parser.writeConfigFile("Typ", getAppletName());
    parser.writeConfigFile("Version", getAppletVersion());
    parser.writeConfigFileIntKey("LoadAppletId", getLoadAppletId());
    parser.writeConfigFileIntKey("AktivePort", 0);
    saveParameters(parser);
    setLastError(kOk);
    return kOk;
}

int32_t FgXeWrapper::loadConfig(void*, const char* file) {
    if (!Fg_ConfigFileParser::checkFileExist(file) || !Fg_ConfigFileParser::checkFileType(file)) {
        setLastError(kConfigNotLoaded);
        return kFileNotOpened;
    }
    Fg_ConfigFileParser parser(file, true);
    auto fail = [this] {
        setLastError(kConfigNotLoaded);
        return kConfigNotLoaded;
    };
    char value[Fg_ConfigFileParser::kLineBuffer];
    if (parser.parseKeyFromLine("Hersteller", value) != 0) return fail();
    if (parser.parseKeyFromLine("Typ", value) != 0 || std::strcmp(value, getAppletName()) != 0)
        return fail();
    uint32_t port = 0;
    if (parser.parseIntKeyFromHeader("AktivePort", &port) != 0) return fail();
    if (!loadParameters(parser)) return fail();
    setLastError(kOk);
    return kOk;
}

} // namespace pellvane
