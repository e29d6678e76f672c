#include "imagepath/LookupTable.h"

#include "entry/FgXeWrapperImpl.h"

namespace pellvane {

// No parameter of this module is served yet: set and get answer -2070.
std::span<const ParameterBinding> lookupTableBindings() {
    return {};
}

} // namespace pellvane
