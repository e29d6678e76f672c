#include "trigger/Trigger.h"

#include "entry/FgXeWrapperImpl.h"

namespace pellvane {

// No parameter of this module is served yet: set and get answer -2070.
std::span<const ParameterBinding> triggerBindings() {
    return {};
}

// The trigger operations are not part of the applet yet; the outputs keep what the design
// starts with.
void startTriggerSystem(FgXeWrapperImpl&) {}

} // namespace pellvane
