// The host's parameter-information tree, and the host-library variants.
#include "SimTestSupport.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <map>
#include <set>
#include <string>

namespace {

using namespace simtest;

// A host library loaded from a given file, for looking at what it exports.
class LoadedLibrary {
public:
#if defined(_WIN32)
    static constexpr const char* kHostFile = "kestlib5.dll";
    explicit LoadedLibrary(const std::string& path) : handle_(LoadLibraryA(path.c_str())) {}
    ~LoadedLibrary() {
        if (handle_ != nullptr) FreeLibrary(handle_);
    }
    bool exports(const std::string& name) const {
        return GetProcAddress(handle_, name.c_str()) != nullptr;
    }
    std::string error() const {
        return "error " + std::to_string(GetLastError());
    }

private:
    HMODULE handle_;
#else
    static constexpr const char* kHostFile = "libkestlib5.so";
    explicit LoadedLibrary(const std::string& path)
        : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedLibrary() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    bool exports(const std::string& name) const {
        return dlsym(handle_, name.c_str()) != nullptr;
    }
    std::string error() const {
        const char* text = dlerror();
        return text != nullptr ? text : "";
    }

private:
    void* handle_;
#endif

public:
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    bool loaded() const {
        return handle_ != nullptr;
    }
};

using HostInfoTest = SimTest;

void collect(const ParameterInfoNode* category, std::vector<const ParameterInfoNode*>& out) {
    for (int32_t i = 0; i < category->a.childCount; ++i) {
        const ParameterInfoNode* child = category->b.children[i];
        EXPECT_EQ(child->index, i);
        if (child->kind == PI_KIND_CATEGORY) {
            EXPECT_EQ(child->depth, category->depth + 1);
            EXPECT_STREQ(child->parentName, category->displayName);
            collect(child, out);
        } else {
            out.push_back(child);
        }
    }
}

TEST_F(HostInfoTest, TreeLinksItsRootsAndHoldsEveryParameterKind) {
    void* h = openHost();
    auto* last = static_cast<const ParameterInfoNode*>(Fg_getParameterInfo(h, 0));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->nextRoot, nullptr);
    EXPECT_EQ(Fg_getParameterInfo(h, 1), nullptr);
    EXPECT_EQ(Fg_getParameterInfo(nullptr, 0), nullptr);

    std::vector<const ParameterInfoNode*> roots;
    for (const ParameterInfoNode* r = last; r != nullptr; r = r->previousRoot) {
        EXPECT_EQ(r->kind, PI_KIND_CATEGORY);
        EXPECT_EQ(r->depth, 0);
        if (r->previousRoot != nullptr) {
            EXPECT_EQ(r->previousRoot->nextRoot, r);
        }
        roots.push_back(r);
    }
    EXPECT_GE(roots.size(), 2u);

    std::vector<const ParameterInfoNode*> params;
    bool nested = false;
    for (const ParameterInfoNode* r : roots) {
        for (int32_t i = 0; i < r->a.childCount; ++i)
            nested |= r->b.children[i]->kind == PI_KIND_CATEGORY;
        collect(r, params);
    }
    EXPECT_TRUE(nested);

    std::set<int32_t> kinds;
    for (const ParameterInfoNode* p : params) {
        kinds.insert(p->kind);
        ASSERT_NE(p->name, nullptr);
        EXPECT_NE(p->displayName, nullptr);
        EXPECT_EQ(p->published, 1);
        EXPECT_EQ(p->port, 0);
        EXPECT_NE(p->access & PI_ACCESS_READ, 0);
        // The node's id is the host parameter of that name.
        EXPECT_EQ(Fg_getParameterIdByName(h, p->name), p->id) << p->name;
        // Writable nodes name parameters that accept writes and vice versa: try writing the
        // current value back.
        if (p->kind == PI_KIND_INT32 || p->kind == PI_KIND_SINT32 || p->kind == PI_KIND_ENUM) {
            int32_t v = 0;
            ASSERT_EQ(Fg_getParameter(h, p->id, &v, 0), 0) << p->name;
            int32_t result = Fg_setParameter(h, p->id, &v, 0);
            EXPECT_EQ(result == 0, (p->access & PI_ACCESS_WRITE) != 0) << p->name;
        }
        if (p->kind == PI_KIND_INT32 || p->kind == PI_KIND_SINT32) {
            EXPECT_LE(p->a.i32.min, p->a.i32.max);
        }
    }
    EXPECT_EQ(kinds, (std::set<int32_t>{PI_KIND_INT32, PI_KIND_ENUM, PI_KIND_STRING, PI_KIND_DOUBLE,
                                        PI_KIND_INT_FIELD, PI_KIND_INT64, PI_KIND_SINT32,
                                        PI_KIND_SINT64}));
}

TEST_F(HostInfoTest, TreeValuesAgreeWithTheParametersTheyDescribe) {
    void* h = openHost();
    std::vector<const ParameterInfoNode*> params;
    for (auto* r = static_cast<const ParameterInfoNode*>(Fg_getParameterInfo(h, 0)); r != nullptr;
         r = r->previousRoot)
        collect(r, params);
    std::map<int32_t, const ParameterInfoNode*> byKind;
    for (const ParameterInfoNode* p : params)
        byKind.emplace(p->kind, p);

    const ParameterInfoNode* e = byKind.at(PI_KIND_ENUM);
    ASSERT_GE(e->a.entryCount, 2);
    for (int32_t i = 0; i < e->a.entryCount; ++i) {
        EXPECT_NE(e->b.entryDisplayNames[i], nullptr);
        EXPECT_NE(e->entrySymbols[i], nullptr);
        EXPECT_EQ(Fg_setParameter(h, e->id, &e->c.entryValues[i], 0), 0);
    }

    char name[64] = {};
    ASSERT_EQ(Fg_getParameter(h, byKind.at(PI_KIND_STRING)->id, name, 0), 0);
    EXPECT_GT(std::string(name).size(), 0u);

    const ParameterInfoNode* d = byKind.at(PI_KIND_DOUBLE);
    double clock = 0;
    ASSERT_EQ(Fg_getParameter(h, d->id, &clock, 0), 0);
    EXPECT_GE(clock, d->a.minD);
    EXPECT_LE(clock, d->b.maxD);

    const ParameterInfoNode* field = byKind.at(PI_KIND_INT_FIELD);
    EXPECT_EQ(field->b.i32.zero, 0);
    EXPECT_EQ(field->c.fieldMin, field->a.i32.min);
    FieldEntry last{uint32_t(field->a.i32.max), uint32_t(field->b.i32.inc - 1)};
    ASSERT_EQ(Fg_setParameterWithType(h, field->id, &last, 0, 4098), 0);
    FieldEntry beyond{0, uint32_t(field->b.i32.inc)};
    EXPECT_EQ(Fg_setParameterWithType(h, field->id, &beyond, 0, 4098),
              VB_HOST_ERR_INVALID_PARAMETER);
    FieldEntry readBack{0, last.index};
    ASSERT_EQ(Fg_getParameterWithType(h, field->id, &readBack, 0, 4098), 0);
    EXPECT_EQ(readBack.value, last.value);

    int64_t offset = -5;
    const ParameterInfoNode* s64 = byKind.at(PI_KIND_SINT64);
    ASSERT_EQ(Fg_setParameter(h, s64->id, &offset, 0), 0);
    int64_t back = 0;
    ASSERT_EQ(Fg_getParameter(h, s64->id, &back, 0), 0);
    EXPECT_EQ(back, -5);
}

TEST_F(HostInfoTest, ShadingIsNotSupportedAndTheAppletIdIsReported) {
    void* h = openHost();
    EXPECT_EQ(Fg_AllocShading(h, 0, 0), nullptr);
    EXPECT_EQ(Shad_GetMaxLine(h, nullptr), VB_HOST_ERR_NOT_SUPPORTED);
    EXPECT_GT(Fg_getAppletId(h, nullptr), 0);
    EXPECT_EQ(Fg_getAppletId(nullptr, nullptr), VB_HOST_ERR_INVALID_HANDLE);
}

// Each variant is the host library without some functions; a test that loads it by its full
// path must find exactly those missing.
TEST(HostVariants, EachVariantLacksExactlyItsOmittedFunctions) {
    const std::vector<std::string> all = {
        "Fg_InitHandleSlaveAware", "Fg_InitHandle",           "Fg_getLastErrorNumber",
        "Fg_getStatusEx",          "Fg_getLastPicNumberEx",   "Fg_getParameterInfo",
        "Fg_FreeGrabber",          "Fg_setParameterWithType", "Fg_AcquireEx",
        "Fg_getParameterIdByName", "Shad_WriteActLine"};
    const std::map<std::string, std::set<std::string>> omitted = {
        {"host", {}},
        {"host-plain-init", {"Fg_InitHandleSlaveAware"}},
        {"host-no-init", {"Fg_InitHandleSlaveAware", "Fg_InitHandle"}},
        {"host-no-last-error", {"Fg_getLastErrorNumber"}},
        {"host-reduced",
         {"Fg_getStatusEx", "Fg_getLastPicNumberEx", "Fg_getParameterInfo", "Fg_FreeGrabber"}}};
    for (const auto& [folder, missing] : omitted) {
        std::string path =
            std::string(SIM_TEST_LIB_DIR) + "/" + folder + "/" + LoadedLibrary::kHostFile;
        LoadedLibrary lib(path);
        ASSERT_TRUE(lib.loaded()) << path << ": " << lib.error();
        for (const std::string& name : all) {
            EXPECT_EQ(lib.exports(name), missing.count(name) == 0) << folder << " " << name;
        }
    }
}

} // namespace
