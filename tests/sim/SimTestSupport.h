// Shared pieces of the virtual board's tests: the libraries' C prototypes and a fixture with a
// fresh board and a loaded image.
#ifndef PELLVANE_TESTS_SIM_SUPPORT_H
#define PELLVANE_TESTS_SIM_SUPPORT_H

#include "DesignFormat.h"

#include <pellvane/ParameterInfoNode.h>
#include <vboard/vboard.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
void* pyrrt_143(const void* image, size_t size, int32_t flag);
void* pyrrt_37(const char* file, int32_t typeCode, int32_t flag);
int32_t pyrrt_38(void* hap);
int32_t pyrrt_42(void* hap);
const char* pyrrt_43(void* hap, int32_t index);
int32_t pyrrt_45(void* hap, const char* name);
int32_t pyrrt_46(void* hap, int32_t id);
int32_t pyrrt_49(void* hap, int32_t id);
const void* pyrrt_150(void* hap, int32_t index);

int32_t tarn_hw_12(void* board, uint32_t reg, uint64_t value);
int32_t tarn_hw_13(void* board, uint32_t reg, uint64_t* value);

void* Fg_InitHandleSlaveAware(const char* file, void* board, void* hap, int32_t slave);
void* Fg_InitHandle(const char* file, void* board, void* hap);
int32_t Fg_getLastErrorNumber(void* fg);
int32_t Fg_getParameterIdByName(void* fg, const char* name);
int32_t Fg_setParameter(void* fg, int32_t id, const void* value, uint32_t dma);
int32_t Fg_getParameter(void* fg, int32_t id, void* value, uint32_t dma);
int32_t Fg_setParameterWithType(void* fg, int32_t id, const void* value, uint32_t dma,
                                int32_t type);
int32_t Fg_getParameterWithType(void* fg, int32_t id, void* value, uint32_t dma, int32_t type);
void* Fg_getParameterInfo(void* fg, int32_t port);
int32_t Fg_getAppletId(void* fg, const char* ignored);
int32_t Fg_saveConfig(void* fg, const char* file);
int32_t Fg_loadConfig(void* fg, const char* file);
int32_t Fg_AcquireEx(void* fg, uint32_t dma, int64_t count, int32_t flags, void* mem);
int32_t Fg_stopAcquireEx(void* fg, uint32_t dma, void* mem, int32_t flags);
int64_t Fg_getLastPicNumberEx(void* fg, uint32_t dma, void* mem);
int64_t Fg_getLastPicNumberBlockingEx(void* fg, int64_t pic, uint32_t dma, int32_t timeout,
                                      void* mem);
int64_t Fg_getStatusEx(void* fg, int32_t param, int64_t data, uint32_t dma, void* mem);
int32_t Fg_FreeGrabber(void* fg);
void* Fg_AllocShading(void* fg, int32_t set, uint32_t dma);
int32_t Shad_GetMaxLine(void* fg, void* shading);
}

namespace simtest {

constexpr const char* kLut = "Device1_Process0_LookupTable_LookupTable_LUTcontent";
constexpr const char* kXLength = "Device1_Process0_Buffer_0_DRAM_A_0_XLength";
constexpr const char* kFillLevel = "Device1_Process0_Buffer_0_DRAM_A_0_FillLevel";
constexpr const char* kMWGenActive = "MWGenActive";
constexpr const char* kMWGenWidth = "MWGenWidth";
constexpr const char* kScratch40 = "Device1_Debug_Scratch40";
constexpr const char* kFrameCounter = "Device1_Status_FrameCounter";

// Layout of the field-table record of host type code 4096.
struct FieldTable {
    uint32_t elementType;
    uint32_t zero;
    uint32_t count;
    uint32_t pad;
    const uint32_t* data;
};
struct FieldEntry {
    uint32_t value;
    uint32_t index;
};

std::vector<uint8_t> readFile(const std::string& path);
std::string readText(const std::string& path);

// The design as the description text defines it, parsed independently of the libraries.
const vboard::Design& describedDesign();

// A fresh model (after vb_reset), board 0 and the generated image loaded from memory.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens a host handle on board_/hap_ (released in TearDown).
    void* openHost();

    VbBoard* board_ = nullptr;
    void* hap_ = nullptr;
    std::vector<void*> hosts_;
};

} // namespace simtest

#endif
