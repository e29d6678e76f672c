// Moving the whole parameter set through a configuration file, parameter by parameter.
#include "entry/FgXeWrapperImpl.h"

namespace pellvane {

// The configuration-file reader and writer are not part of the applet yet: no key is read and
// none is written, so loading reports that not every key was found.
bool FgXeWrapperImpl::loadParameters(Fg_ConfigFileParser&) {
    return false;
}
void FgXeWrapperImpl::saveParameters(Fg_ConfigFileParser&) {}

} // namespace pellvane
