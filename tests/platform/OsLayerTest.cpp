#include "platform/DynamicLibrary.h"
#include "platform/Environment.h"
#include "platform/ModulePath.h"
#include "platform/PreciseClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

namespace {

namespace fs = std::filesystem;
using namespace pellvane::platform;

#if defined(_WIN32)
// Windows's C runtime cannot hold a variable set to an empty value: setting "" removes it.
constexpr bool kEmptyVariablesExist = false;
int setVariable(const char* name, const char* value) {
    return _putenv_s(name, value);
}
void unsetVariable(const char* name) {
    _putenv_s(name, "");
}
constexpr const char* kProgramFile = "platform_tests.exe";
constexpr const char* kProbeFile = "platform_probe.dll";
#else
constexpr bool kEmptyVariablesExist = true;
int setVariable(const char* name, const char* value) {
    return ::setenv(name, value, 1);
}
void unsetVariable(const char* name) {
    ::unsetenv(name);
}
constexpr const char* kProgramFile = "platform_tests";
constexpr const char* kProbeFile = "libplatform_probe.so";
#endif

TEST(Environment, TruthyWordsIgnoreCaseButNothingElse) {
    for (const char* on : {"yes", "YES", "Yes", "true", "TRUE", "tRuE", "on", "ON", "oN", "1"}) {
        EXPECT_TRUE(isTruthy(on)) << '"' << on << '"';
    }
    for (const char* off : {"", "2", "0", "y", "no", "off", "false", " on", "on ", "1 ", "\ton",
                            "yess", "ye", "tru", "01", "o n"}) {
        EXPECT_FALSE(isTruthy(off)) << '"' << off << '"';
    }
    // The whole length counts, embedded NUL bytes included.
    EXPECT_FALSE(isTruthy(std::string_view("on\0", 3)));
    // Only ASCII letters fold: a Latin-1 or UTF-8 look-alike is not a letter of the word.
    EXPECT_FALSE(isTruthy("\xC3\x9D"
                          "es"));
}

TEST(Environment, UnsetEmptyAndSetVariablesAreDistinguished) {
    const char* name = "PELLVANE_PLATFORM_TEST_SWITCH";
    unsetVariable(name);
    EXPECT_EQ(environmentValue(name), std::nullopt);
    if (kEmptyVariablesExist) {
        ASSERT_EQ(setVariable(name, ""), 0);
        EXPECT_EQ(environmentValue(name), std::optional<std::string>(""));
    }
    ASSERT_EQ(setVariable(name, "TRUE"), 0);
    EXPECT_EQ(environmentValue(name), std::optional<std::string>("TRUE"));
    unsetVariable(name);
    EXPECT_EQ(environmentValue(name), std::nullopt);
    EXPECT_EQ(environmentValue(nullptr), std::nullopt);
}

TEST(ModulePath, SplitsAtTheLastSeparatorAndTheLastDot) {
    struct Case {
        const char* path;
        const char* directory;
        const char* baseName;
        bool hasSeparator;
    };
    const Case cases[] = {
        {"C:\\dir\\Pellvane.dll", "C:\\dir", "Pellvane", true},
        {"/a/b/lib.x.so", "/a/b", "lib.x", true},
        {"/a/b/noext", "/a/b", "noext", true},
        {"nosep.dll", "", "nosep", false},
        {"C:\\x.y\\dir/Pellvane.so", "C:\\x.y\\dir", "Pellvane", true},
        {"/a.b/noext", "/a.b", "noext", true},
        {"/a/.hidden", "/a", "", true},
        {"/a/dir/", "/a/dir", "", true},
        {"/Pellvane.so", "", "Pellvane", true},
        {"", "", "", false},
    };
    for (const Case& c : cases) {
        const ModuleFileParts parts = splitModulePath(c.path);
        EXPECT_EQ(parts.directory, c.directory) << c.path;
        EXPECT_EQ(parts.baseName, c.baseName) << c.path;
        EXPECT_EQ(parts.hasSeparator, c.hasSeparator) << c.path;
    }
}

TEST(ModulePath, ProgramPathNamesThisTestProgram) {
    const std::string path = ownModulePath();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(fs::path(path).is_absolute()) << path;
    EXPECT_EQ(fs::path(path).filename(), kProgramFile);
    EXPECT_TRUE(fs::is_regular_file(path)) << path;

    // Splitting and joining again gives the same file, as the inspection file lookup relies on.
    const ModuleFileParts parts = splitModulePath(path);
    EXPECT_TRUE(parts.hasSeparator);
    EXPECT_EQ(parts.baseName, "platform_tests");
    EXPECT_EQ(fileBesideModule(parts.directory, kProgramFile), path);
}

TEST(DynamicLibrary, LoadableNamesFollowTheLibraryConvention) {
#if defined(_WIN32)
    // Windows loads a library under the name it knows it by.
    for (const char* name : {"kestlib5.dll", "pyrrt.DLL", "tarn_hw.dll", "lib.dll.dll", "plain"}) {
        EXPECT_EQ(loadableName(name), name);
    }
#else
    EXPECT_EQ(loadableName("kestlib5.dll"), "libkestlib5.so");
    EXPECT_EQ(loadableName("pyrrt.DLL"), "libpyrrt.so");
    EXPECT_EQ(loadableName("tarn_hw.dll"), "libtarn_hw.so");
    EXPECT_EQ(loadableName("lib.dll.dll"), "liblib.dll.so");
    EXPECT_EQ(loadableName("plain"), "libplain.so");
#endif
    // Not library names: nothing to load, and never a path.
    for (std::string_view bad : {std::string_view(""), std::string_view(".dll"),
                                 std::string_view("/usr/lib/x.dll"), std::string_view("..\\x.dll"),
                                 std::string_view("sub/x.dll"), std::string_view("x\0y.dll", 7)}) {
        EXPECT_EQ(loadableName(bad), "") << bad;
    }
}

TEST(DynamicLibrary, AbsentOrInvalidLibrariesFailCleanly) {
    for (std::string_view name :
         {"pellvane-no-such-library.dll", "", "/lib/x86_64-linux-gnu/libc.so.6"}) {
        DynamicLibrary library = DynamicLibrary::open(name);
        EXPECT_FALSE(library.loaded()) << name;
        EXPECT_FALSE(library.errorText().empty()) << name;
        EXPECT_EQ(library.symbol("platform_probe_7"), nullptr);
        EXPECT_EQ(library.symbolByOrdinal(7), nullptr);
        library.close();
        EXPECT_FALSE(library.loaded());
    }
}

TEST(DynamicLibrary, FindsSymbolsByNameAndOrdinalAndUnloads) {
    DynamicLibrary library = DynamicLibrary::open("platform_probe.dll");
    ASSERT_TRUE(library.loaded()) << library.errorText();
    EXPECT_TRUE(library.errorText().empty());

    void* byName = library.symbol("platform_probe_7");
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(library.symbolByOrdinal(7), byName);
    EXPECT_EQ(library.symbolByOrdinal(8), nullptr);
    EXPECT_EQ(library.symbolByOrdinal(0), nullptr);
    EXPECT_EQ(library.symbolByOrdinal(65536 + 7), nullptr);
    EXPECT_EQ(library.symbol("no_such_symbol"), nullptr);
    EXPECT_EQ(library.symbol(nullptr), nullptr);

    // Moving hands the library over without unloading it.
    DynamicLibrary moved = std::move(library);
    EXPECT_FALSE(library.loaded());
    ASSERT_TRUE(moved.loaded());
    EXPECT_EQ(moved.symbol("platform_probe_7"), byName);
    EXPECT_EQ(moved.symbolByOrdinal(7), byName);

    moved.close();
    EXPECT_FALSE(moved.loaded());
    EXPECT_EQ(moved.symbol("platform_probe_7"), nullptr);
    moved.close();
    EXPECT_FALSE(moved.loaded());
}

TEST(ModulePath, InsideALibraryNamesTheLibraryNotTheProgram) {
    DynamicLibrary library = DynamicLibrary::open("platform_probe.dll");
    ASSERT_TRUE(library.loaded()) << library.errorText();
    using PathFunction = std::size_t (*)(char*, std::size_t);
    auto probePath = reinterpret_cast<PathFunction>(library.symbol("platform_probe_module_path"));
    ASSERT_NE(probePath, nullptr);

    const std::size_t length = probePath(nullptr, 0);
    ASSERT_GT(length, 0u);
    std::string path(length + 1, '\0');
    EXPECT_EQ(probePath(path.data(), path.size()), length);
    path.resize(length);

    EXPECT_EQ(fs::path(path).filename(), kProbeFile);
    EXPECT_TRUE(fs::is_regular_file(path)) << path;
    EXPECT_NE(fs::path(path).filename(), fs::path(ownModulePath()).filename());
}

TEST(PreciseClock, CountsForwardAtLeastAsFastAsTheSleep) {
    const std::int64_t frequency = counterFrequency();
    ASSERT_GT(frequency, 0);
    const std::int64_t before = counterNow();
    sleepMilliseconds(20);
    const std::int64_t after = counterNow();
    // A sleep never ends early, so at least 20 ms worth of ticks have passed.
    EXPECT_GE(after - before, frequency / 1000 * 20);
    EXPECT_GE(counterNow(), after);
}

} // namespace
