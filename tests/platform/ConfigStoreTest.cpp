#include "platform/ConfigStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using pellvane::platform::ConfigStore;
using Keys = std::vector<std::string>;

class ConfigStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("pellvane-platform-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Writes the bytes as they are (binary), so line endings are exactly the test's.
    std::string write(const std::string& name, const std::string& content) {
        const fs::path path = dir_ / name;
        std::ofstream out(path, std::ios::binary);
        out << content;
        return path.string();
    }

    std::string value(const ConfigStore& store, const std::string& key) {
        return store.fetchValue(key);
    }

    fs::path dir_;
};

TEST_F(ConfigStoreTest, SectionHeadersAndLinesOutsideSections) {
    ConfigStore store;
    const std::string path = write("inspect.conf", "before = ignored\n"
                                                   "[a]\n"
                                                   "one = 1\n"
                                                   "[]\n"
                                                   "two = 2\n"
                                                   "[b=3\n"
                                                   "[  spaced  ]\n"
                                                   "x = 4\n");
    ASSERT_TRUE(store.readFile(path, true, true));

    bool found = true;
    EXPECT_EQ(store.fetchValue("before", &found), "");
    EXPECT_FALSE(found);
    // "[]" is too short to be a header, so "two" stays in section a, and so does the key "[b",
    // whose line lacks a closing bracket.
    EXPECT_EQ(store.keysOfSection("a"), (Keys{"[b", "one", "two"}));
    EXPECT_EQ(value(store, "a::[b"), "3");
    EXPECT_EQ(value(store, "spaced::x"), "4");
}

TEST_F(ConfigStoreTest, KeysAndValuesLoseCommentsAndSurroundingWhiteSpace) {
    ConfigStore store;
    const std::string path = write("c.conf", "  [ Pellvane ]  # the applet\r\n"
                                             " FG_KEY = some value # comment\r\n"
                                             "\tTabbed\t=\tv\t\n"
                                             "# whole line comment = no\n"
                                             "no equals sign here\n"
                                             "empty =\n"
                                             "= nameless\n"
                                             "a = b = c\n");
    ASSERT_TRUE(store.readFile(path, true, true));

    EXPECT_EQ(value(store, "Pellvane::FG_KEY"), "some value");
    EXPECT_EQ(value(store, "Pellvane::Tabbed"), "v");
    EXPECT_EQ(value(store, "Pellvane::a"), "b = c");
    bool found = false;
    EXPECT_EQ(store.fetchValue("Pellvane::empty", &found), "");
    EXPECT_TRUE(found);
    EXPECT_EQ(store.keysOfSection("Pellvane"), (Keys{"FG_KEY", "Tabbed", "a", "empty"}));
}

TEST_F(ConfigStoreTest, RepeatedKeysFollowTheOverwriteAndKeepFlags) {
    const std::string first = write("1.conf", "[s]\nk = first\nk = second\nonly1 = x\n");
    const std::string second = write("2.conf", "[s]\nk = third\nonly2 = y\n");

    ConfigStore later;
    ASSERT_TRUE(later.readFile(first, true, true));
    EXPECT_EQ(value(later, "s::k"), "second");

    ConfigStore earlier;
    ASSERT_TRUE(earlier.readFile(first, true, false));
    EXPECT_EQ(value(earlier, "s::k"), "first");
    // Without overwrite an existing entry also beats a later file.
    ASSERT_TRUE(earlier.readFile(second, true, false));
    EXPECT_EQ(value(earlier, "s::k"), "first");
    EXPECT_EQ(earlier.keysOfSection("s"), (Keys{"k", "only1", "only2"}));

    // Not keeping existing entries replaces the whole store.
    ASSERT_TRUE(later.readFile(second, false, true));
    EXPECT_EQ(later.keysOfSection("s"), (Keys{"k", "only2"}));
    EXPECT_EQ(value(later, "s::k"), "third");
}

TEST_F(ConfigStoreTest, MissingFileLeavesTheStoreUnchanged) {
    ConfigStore store;
    ASSERT_TRUE(store.storeValue("s::k", "v"));
    EXPECT_FALSE(store.readFile((dir_ / "absent.conf").string(), false, true));
    EXPECT_FALSE(store.readFile(dir_.string(), false, true)); // a folder is no file either
    EXPECT_EQ(value(store, "s::k"), "v");
    EXPECT_EQ(store.keysOfSection("s"), Keys{"k"});
}

TEST_F(ConfigStoreTest, SectionNamesCompareWithCaseUnlessCaseIsFolded) {
    const std::string path = write(
        "case.conf", "[Pellvane]\nFG_A = yes\n[pellvane]\nFG_B = yes\n[PELLVANE]\nFG_C = 1\n");

    ConfigStore exact;
    ASSERT_TRUE(exact.readFile(path, true, true));
    EXPECT_EQ(exact.keysOfSection("Pellvane"), Keys{"FG_A"});
    EXPECT_EQ(exact.keysOfSection("pellvane"), Keys{"FG_B"});
    EXPECT_TRUE(exact.keysOfSection("pellVANE").empty());
    EXPECT_EQ(value(exact, "pellvane::FG_A"), "");

    ConfigStore folded(true, false);
    ASSERT_TRUE(folded.readFile(path, true, true));
    // All three headers name one section; keys are kept in lower case and found in any case.
    EXPECT_EQ(folded.keysOfSection("PellVane"), (Keys{"fg_a", "fg_b", "fg_c"}));
    EXPECT_EQ(value(folded, "PELLVANE::Fg_C"), "1");
    ASSERT_TRUE(folded.storeValue("Other::MixedCase", "v"));
    EXPECT_EQ(folded.keysOfSection("other"), Keys{"mixedcase"});
}

TEST_F(ConfigStoreTest, StoreValueRefusesKeysThatEndOrStartWithTheSeparator) {
    ConfigStore store;
    EXPECT_FALSE(store.storeValue("::key", "v"));
    EXPECT_FALSE(store.storeValue("section::", "v"));
    EXPECT_FALSE(store.storeValue("::", "v"));
    EXPECT_TRUE(store.keysOfSection("section").empty());
    bool found = true;
    store.fetchValue("::key", &found);
    EXPECT_FALSE(found);

    EXPECT_TRUE(store.storeValue("section::key", "one"));
    EXPECT_TRUE(store.storeValue("section::key", "two"));
    EXPECT_EQ(value(store, "section::key"), "two");
    // The split is at the first separator: the rest, separators included, is the key part.
    EXPECT_TRUE(store.storeValue("section::a::b", "x"));
    EXPECT_EQ(store.keysOfSection("section"), (Keys{"a::b", "key"}));

    ConfigStore flat(false, true);
    EXPECT_TRUE(flat.storeValue("::key", "v"));
    EXPECT_EQ(value(flat, "::key"), "v");
    EXPECT_TRUE(flat.keysOfSection("").empty());
}

TEST_F(ConfigStoreTest, WithoutSectionsBracketLinesAreOrdinaryLines) {
    ConfigStore flat(false, true);
    const std::string path = write("flat.conf", "top = 1\n[s]\n[t] = 2\nnext = 3\n");
    ASSERT_TRUE(flat.readFile(path, true, true));
    EXPECT_EQ(value(flat, "top"), "1");
    EXPECT_EQ(value(flat, "[t]"), "2");
    EXPECT_EQ(value(flat, "next"), "3");
    EXPECT_TRUE(flat.keysOfSection("s").empty());
}

TEST_F(ConfigStoreTest, ArbitraryBytesAndVeryLongLinesAreReadSafely) {
    std::string content = "[s]\n";
    for (int byte = 0; byte < 256; ++byte) {
#ifdef _WIN32
        // The file is read in text mode, where Windows takes Ctrl-Z for the end of the file.
        if (byte == 0x1A) continue;
#endif
        content += static_cast<char>(byte);
    }
    content += "\n";
    const std::string longValue(1 << 20, 'v');
    content += "long = " + longValue + "\n";
    content += std::string(1 << 20, '[') + "\n";
    content += "after = ok"; // no final line end
    const std::string path = write("bytes.conf", content);

    ConfigStore store;
    ASSERT_TRUE(store.readFile(path, true, true));
    EXPECT_EQ(value(store, "s::long"), longValue);
    EXPECT_EQ(value(store, "s::after"), "ok");
    // The bytes split into two lines at the line feed; neither yields a key, since the second is
    // cut at its "#" (byte 35), before its "=" (byte 61).
    EXPECT_EQ(store.keysOfSection("s"), (Keys{"after", "long"}));
}

} // namespace
