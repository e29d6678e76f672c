#include "data/HapImage.h"

// Defined by HapImage.S, which includes the image file produced at build time.
extern "C" const uint8_t pellvane_hap_image[];
extern "C" const uint8_t pellvane_hap_image_end[];

namespace pellvane {

const uint8_t* hapImage() {
    return pellvane_hap_image;
}

} // namespace pellvane
