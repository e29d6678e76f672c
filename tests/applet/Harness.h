// Loads the applet library the way a host does (by name, through the library search path)
// and gives tests its 31 exports, plus a board on the virtual board to open it on.
#pragma once

#include "pellvane/ParameterInfoNode.h"
#include "vboard/vboard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace pvtest {

struct Exports {
    void* (*Std_entry)(void*, int32_t*, int32_t);
    int32_t (*Info)(int32_t, int32_t, int32_t, void*, const void**);
    int32_t (*Fg_setParameterWithType)(void*, int32_t, const void*, uint32_t, int32_t);
    int32_t (*Fg_getParameterWithType)(void*, int32_t, void*, uint32_t, int32_t);
    int32_t (*Fg_getNrOfParameter)(void*);
    const char* (*Fg_getParameterName)(void*, int32_t);
    int32_t (*Fg_getParameterId)(void*, int32_t);
    int32_t (*Fg_getParameterIdByName)(void*, const char*);
    int32_t (*Fg_saveConfig)(void*, const char*);
    int32_t (*Fg_loadConfig)(void*, const char*);
    int32_t (*Fg_getParameterInfoXML)(void*, int32_t, char*, size_t*);
    uint64_t (*Fg_getEventMask)(void*, const char*);
    const char* (*Fg_getEventName)(void*, uint64_t);
    void* (*Fg_AllocShading)(void*, int32_t, uint32_t);
    int32_t (*Fg_FreeShading)(void*, void*);
    int32_t (*Shad_SetSubValueLine)(void*, void*, intptr_t, intptr_t, float);
    int32_t (*Shad_SetMultValueLine)(void*, void*, intptr_t, intptr_t, float);
    int32_t (*Shad_SetFixedPatternNoiseLine)(void*, void*, intptr_t, intptr_t, int32_t);
    int32_t (*Shad_GetMaxLine)(void*, void*);
    int32_t (*Shad_GetAccess)(void*, void*);
    int32_t (*Shad_FreeAccess)(void*, void*);
    int32_t (*Shad_WriteActLine)(void*, void*, int32_t);
    int32_t (*Fg_getAppletId)(void*, const char*);
    int32_t (*Fg_AcquireEx)(void*, uint32_t, int64_t, int32_t, void*);
    int32_t (*Fg_stopAcquireEx)(void*, uint32_t, void*, int32_t);
    int64_t (*Fg_getLastPicNumberEx)(void*, uint32_t, void*);
    int64_t (*Fg_getLastPicNumberBlockingEx)(void*, int64_t, uint32_t, int32_t, void*);
    int64_t (*Fg_getStatusEx)(void*, int32_t, int64_t, uint32_t, void*);
    int32_t (*Fg_getLastErrorNumber)(void*);
    void* (*Fg_getParameterInfo)(void*, int32_t);
    int32_t (*Fg_FreeGrabber)(void*);
};

// A loaded applet library. `Library::applet()` is Pellvane.so (Pellvane.dll on Windows) found
// through the library search path, loaded once per process; `Library::at(path)` loads a copy of
// it from a given file.
class Library {
public:
    static const Library& applet();
    static Library at(const std::filesystem::path& file);
    Library(Library&&) noexcept;
    ~Library();

    const Exports& operator*() const { return exports_; }
    const Exports* operator->() const { return &exports_; }
    std::filesystem::path file() const;

private:
    explicit Library(void* handle);
    void* handle_;
    Exports exports_{};
};

// The host's per-board record: the applet object lives in its first word.
struct FgRecord {
    void* applet = nullptr;
    void* hostPrivate[3] = {};
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

// A fresh virtual board with an applet opened on it by Std_entry.
class OpenBoard : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void open(const Library& lib = Library::applet());
    void close();

    const Library* lib_ = nullptr;
    const Exports& x() const { return **lib_; }
    VbBoard* board_ = nullptr;
    FgRecord fg_;
    int32_t entryError_ = 12345;
};

// A directory that exists for one test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The parameter node named `name` below `category`, searched depth first; null when absent.
const ParameterInfoNode* findIn(const ParameterInfoNode* category, const char* name);

// The whole content of a file, byte for byte (empty when it cannot be read).
std::string readFile(const std::filesystem::path& path);

// The directory the applet library was loaded from.
std::filesystem::path appletDirectory();

} // namespace pvtest
