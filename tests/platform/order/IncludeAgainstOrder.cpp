// Deliberately against the module order: the platform layer, the lowest module, includes the
// error vocabulary of a module above it. The build must refuse to compile this file (see the
// test module_order_refuses_an_upward_include); it is never part of a product.
#include "host/ErrorCodes.h"
#include "platform/Environment.h"

int includeAgainstOrder() {
    return pellvane::kInvalidParameter;
}
