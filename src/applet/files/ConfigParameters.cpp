// Moving the whole parameter set through a configuration file, parameter by parameter.
#include "entry/FgXeWrapperImpl.h"
#include "files/ConfigFileParser.h"
#include "host/ErrorCodes.h"
#include "parameters/ParameterTable.h"

#include <pellvane/parameters.h>

#include <cstring>
#include <string>

namespace pellvane {

namespace {

constexpr int32_t kPort = 0;

// The user file name travels through a buffer of this size; longer names are cut.
constexpr std::size_t kFileNameBuffer = 1024;

// The second pass leaves the lookup-table inputs to FG_LUT_TYPE, which uses the values the
// first pass stored, and starts with the legacy mode.
bool appliedInSecondPass(const ConfigKey& key) {
    switch (key.id) {
    case FG_LUT_CUSTOM_FILE:
    case FG_PROCESSING_OFFSET:
    case FG_PROCESSING_GAIN:
    case FG_PROCESSING_GAMMA:
    case FG_PROCESSING_INVERT:
    case FG_TRIGGER_LEGACY_MODE:
        return false;
    default:
        return true;
    }
}

bool storedInFirstPass(const ConfigKey& key) {
    return key.id != FG_AREATRIGGERMODE && key.id != FG_TRIGGERSTATE;
}

} // namespace

void FgXeWrapperImpl::saveParameters(Fg_ConfigFileParser& parser) {
    parser.writePortSection(kPort);
    for (const ConfigKey& key : kConfigKeys) {
        ParameterEntry e = findEntry(key.id);
        if (e.field == nullptr) continue;
        void* field = e.field(*this);
        switch (key.form) {
        case FileForm::Number: {
            int32_t v;
            std::memcpy(&v, field, sizeof v);
            parser.writeConfigFileIntKey(key.name, v);
            break;
        }
        case FileForm::Double: {
            double v;
            std::memcpy(&v, field, sizeof v);
            if (key.fromGetter && e.get != nullptr) {
                try {
                    e.get(*this, &v);
                } catch (const Failure&) {
                    // A register that cannot be read leaves the stored value in the file.
                }
            }
            parser.wrtiteConfigFileDoubleKey(key.name, v);
            break;
        }
        case FileForm::Text: {
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
        ParameterEntry e = findEntry(key.id);
        if (e.field == nullptr || (apply && e.set == nullptr)) return false;
        switch (key.form) {
        case FileForm::Number: {
            uint32_t v = 0;
            if (parser.parsePortIntKey(kPort, key.name, &v) != 0) return false;
            if (apply)
                e.set(*this, &v, false);
            else
                std::memcpy(e.field(*this), &v, sizeof v);
            return true;
        }
        case FileForm::Double: {
            double v = 0;
            if (parser.parsePortDoubleKey(kPort, key.name, &v) != 0) return false;
            if (apply)
                e.set(*this, &v, false);
            else
                std::memcpy(e.field(*this), &v, sizeof v);
            return true;
        }
        case FileForm::Text: {
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
        for (const ConfigKey& key : kConfigKeys)
            if (storedInFirstPass(key) && !load(key, false)) return false;
        for (const ConfigKey& key : kConfigKeys)
            if (key.id == FG_TRIGGER_LEGACY_MODE && !load(key, true)) return false;
        for (const ConfigKey& key : kConfigKeys)
            if (appliedInSecondPass(key) && !load(key, true)) return false;
    } catch (const Failure&) {
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
