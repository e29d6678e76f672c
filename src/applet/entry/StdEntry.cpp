// Std_entry: creates the applet object for one board and starts it.
#include "data/HapImage.h"
#include "entry/Export.h"
#include "entry/FgXeWrapperImpl.h"
#include "host/ErrorCodes.h"
#include "host/Runtime.h"
#include "platform/Environment.h"

#include <memory>
#include <new>

using namespace pellvane;

namespace {
constexpr const char* kHostLibrary = "kestlib5.dll";
constexpr const char* kHapFile = "Pellvane.hap";

void* start(void* board, int32_t* error) {
    auto report = [error](int32_t code) {
        if (error != nullptr) *error = code;
    };

    auto applet = std::make_unique<FgXeWrapperImpl>();
    int32_t rc = applet->bindHostLibrary(kHostLibrary);
    report(rc);
    if (rc != kOk) return nullptr;

    // The variable's presence alone, whatever its value, selects the external file.
    void* hap = platform::environmentValue("__TARN_FORCE_EXTERNAL_HAP").has_value()
                    ? runtime::loadImageFile(kHapFile)
                    : runtime::loadImage(hapImage(), kHapImageSize);
    if (hap == nullptr) {
        report(kNotLoaded);
        return nullptr;
    }

    rc = applet->initHandle(kHapFile, board, hap, false);
    report(rc);
    if (rc != kOk) {
        runtime::releaseImage(hap);
        return nullptr;
    }
    applet->storeHandles(board, hap);

    applet->registerParameters();
    applet->fillRegisterIds();
    applet->buildParameterInfo();
    try {
        applet->startTrigger();
    } catch (...) {
        // A trigger system that does not start leaves the applet usable; its parameters
        // report the failure when they are set.
    }
    applet->applyDefaults();
    return static_cast<FgXeWrapper*>(applet.release());
}

} // namespace

PELLVANE_EXPORT void* Std_entry(void* board, int32_t* error, int32_t mode) {
    if (mode != 0) {
        if (error != nullptr) *error = kInvalidParameter;
        return nullptr;
    }
    try {
        return start(board, error);
    } catch (const std::exception&) {
        // Only memory exhaustion gets here. No exception may cross into the host: the object
        // is already destroyed, and the host sees a failed start.
        if (error != nullptr) *error = kNotLoaded;
        return nullptr;
    }
}
