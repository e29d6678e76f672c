#include "imagepath/Simulator.h"

#include "entry/FgXeWrapperImpl.h"
#include "host/Runtime.h"

namespace pellvane {

// No parameter of this module is served yet: set and get answer -2070.
std::span<const ParameterBinding> simulatorBindings() {
    return {};
}

void clearSimulatorRegisters(FgXeWrapperImpl& applet) {
    for (std::size_t i = kHostRegisterCount; i < kRegisterCount; ++i) {
        auto reg = static_cast<uint32_t>(applet.registerId(static_cast<Reg>(i)));
        (void)hardware::writeRegister(applet.boardHandle(), reg, 0);
    }
}

} // namespace pellvane
