// Builds the applet's information tree once, during start-up.
#include "entry/FgXeWrapperImpl.h"

namespace pellvane {

void FgXeWrapperImpl::buildParameterInfo() {
    // The categories of the applet's own parameters come first; the debug sections follow the
    // last of them.
    buildRegisterAccessSection();
    buildPassThroughSection();
}

} // namespace pellvane
