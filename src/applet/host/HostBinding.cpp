#include "host/HostBinding.h"

#include "host/Runtime.h"

namespace pellvane {

std::atomic<void*> ProcessHandles::board_{nullptr};
std::atomic<void*> ProcessHandles::image_{nullptr};

void ProcessHandles::remember(void* board, void* image) {
    if (board != nullptr) board_.store(board, std::memory_order_relaxed);
    if (image != nullptr) image_.store(image, std::memory_order_relaxed);
}

HostBinding::HostBinding()
    : functions(std::make_unique<HostFunctionTable>()),
      tree(std::make_unique<ParameterInfoTree>()) {}

HostBinding::~HostBinding() {
    // The host library goes first: nothing calls into it any more. The image is released
    // after it, then the table and the tree go.
    hostModule.close();
    if (hapHandle != nullptr) runtime::releaseImage(hapHandle);
    functions.reset();
    tree.reset();
}

} // namespace pellvane
