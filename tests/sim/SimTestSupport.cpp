#include "SimTestSupport.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace simtest {

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const vboard::Design& describedDesign() {
    static const vboard::Design design = [] {
        vboard::Design d;
        std::string error;
        // A broken description fails every test that uses it, with the parser's message.
        if (!vboard::parseDescription(readText(SIM_TEST_DESCRIPTION), d, error))
            throw std::runtime_error(error);
        return d;
    }();
    return design;
}

void SimTest::SetUp() {
    vb_reset();
    board_ = vb_board_open(0);
    std::vector<uint8_t> image = readFile(SIM_TEST_HAP_IMAGE);
    hap_ = pyrrt_143(image.data(), image.size(), 1);
    ASSERT_NE(hap_, nullptr);
}

void SimTest::TearDown() {
    for (void* h : hosts_)
        EXPECT_EQ(Fg_FreeGrabber(h), 0);
    if (hap_ != nullptr) {
        EXPECT_EQ(pyrrt_38(hap_), 0);
    }
    EXPECT_EQ(vb_open_host_handles(), 0);
    EXPECT_EQ(vb_loaded_images(), 0);
}

void* SimTest::openHost() {
    void* h = Fg_InitHandleSlaveAware("Pellvane.hap", board_, hap_, 0);
    EXPECT_NE(h, nullptr);
    if (h != nullptr) hosts_.push_back(h);
    return h;
}

} // namespace simtest
