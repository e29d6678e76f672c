// Lookup-table files: the table saved in the gray form, user files loaded into the table, the
// lenient containment rules of the reader, and files that are broken on purpose.
#include "Harness.h"

#include <pellvane/parameters.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

using namespace pvtest;
namespace fs = std::filesystem;

namespace {

using Table = std::vector<uint32_t>;

Table identityWith(std::initializer_list<std::pair<int, uint32_t>> changes) {
    Table t(4096);
    for (int i = 0; i < 4096; ++i)
        t[i] = static_cast<uint32_t>(i);
    for (auto [index, value] : changes)
        t[index] = value;
    return t;
}

std::string header(const std::string& count) {
    return "# Lut data file v1.1\n\n\n\n[gray]\n\nid=3;\nnrOfElements=" + count +
           ";\nformat=0;\nnumber=0;\n";
}

std::string line(int index, long long value) {
    return std::to_string(index) + "," + std::to_string(value) + ";\n";
}

class LutFile : public OpenBoard {
protected:
    void SetUp() override {
        OpenBoard::SetUp();
        open();
    }
    int32_t set(int32_t id, int32_t v) { return x().Fg_setParameterWithType(&fg_, id, &v, 0, 1); }
    int32_t setD(int32_t id, double v) { return x().Fg_setParameterWithType(&fg_, id, &v, 0, 5); }
    int32_t setText(int32_t id, const std::string& text) {
        return x().Fg_setParameterWithType(&fg_, id, text.c_str(), 0, 6);
    }
    std::string getText(int32_t id) {
        char buffer[1024] = {};
        EXPECT_EQ(x().Fg_getParameterWithType(&fg_, id, buffer, 0, 6), 0);
        return buffer;
    }
    int32_t type() {
        int32_t t = -1;
        EXPECT_EQ(x().Fg_getParameterWithType(&fg_, FG_LUT_TYPE, &t, 0, 1), 0);
        return t;
    }
    Table board() {
        Table t(4096);
        EXPECT_EQ(vb_lut_read(board_, t.data(), t.size()), 0);
        return t;
    }
    Table copy() {
        Table t(4096);
        for (uint32_t i = 0; i < 4096; ++i) {
            uint32_t record[2] = {0, i};
            EXPECT_EQ(x().Fg_getParameterWithType(&fg_, FG_LUT_VALUE, record, 0, 4098), 0);
            t[i] = record[0];
        }
        return t;
    }
    std::string path(const std::string& name) { return (dir_.path() / name).string(); }
    std::string file(const std::string& name, const std::string& content) {
        std::ofstream(path(name), std::ios::binary) << content;
        return path(name);
    }
    // Loads the content as a user file over the identity table; the switch's result.
    int32_t load(const std::string& content) {
        EXPECT_EQ(set(FG_LUT_TYPE, LUT_TYPE_PROCESSING), 0);
        EXPECT_EQ(setText(FG_LUT_CUSTOM_FILE, file("user.lut", content)), 0);
        return set(FG_LUT_TYPE, LUT_TYPE_CUSTOM);
    }

    TempDir dir_;
};

} // namespace

TEST_F(LutFile, SavedFileIsTheGrayFormAndLoadsBack) {
    ASSERT_EQ(setD(FG_PROCESSING_GAMMA, 2.0), 0);
    ASSERT_EQ(set(FG_PROCESSING_INVERT, 1), 0);
    const Table saved = board();
    ASSERT_EQ(setText(FG_LUT_SAVE_FILE, path("saved.lut")), 0);
    EXPECT_EQ(getText(FG_LUT_SAVE_FILE), path("saved.lut"));

    std::string expected = header("4096");
    for (int i = 0; i < 4096; ++i)
        expected += line(i, saved[i]);
    std::ifstream in(path("saved.lut"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), expected);

    // Back to the identity. Naming the file while the table is computed only stores the name;
    // switching to the custom type loads it.
    ASSERT_EQ(set(FG_PROCESSING_INVERT, 0), 0);
    ASSERT_EQ(setD(FG_PROCESSING_GAMMA, 1.0), 0);
    ASSERT_EQ(setText(FG_LUT_SAVE_FILE, path("identity.lut")), 0);
    vb_log_clear();
    ASSERT_EQ(setText(FG_LUT_CUSTOM_FILE, path("saved.lut")), 0);
    EXPECT_EQ(vb_log_count(), 0u);
    EXPECT_EQ(getText(FG_LUT_CUSTOM_FILE), path("saved.lut"));
    ASSERT_EQ(set(FG_LUT_TYPE, LUT_TYPE_CUSTOM), 0);
    EXPECT_EQ(vb_log_count(), 1u);
    EXPECT_EQ(board(), saved);
    EXPECT_EQ(copy(), saved);
    // With the custom type, naming a file loads it at once.
    ASSERT_EQ(setText(FG_LUT_CUSTOM_FILE, path("identity.lut")), 0);
    EXPECT_EQ(board(), identityWith({}));
}

TEST_F(LutFile, ReaderFollowsItsContainmentRules) {
    std::string ten = header("10");
    Table tenExpected = identityWith({});
    for (int i = 0; i < 12; ++i) {
        ten += line(i, 4000 + i); // the lines beyond the announced ten are not used
        if (i < 10) tenExpected[i] = 4000 + i;
    }
    // Line 11 contains "1," and supplies entry 1; line 12 then supplies entry 2, and no line
    // is left for the entries after it.
    std::string eleven = header("13") + line(0, 700);
    Table elevenExpected = identityWith({{0, 700}, {1, 711}, {2, 712}});
    for (int i = 2; i <= 12; ++i) {
        eleven += line(i, 700 + i);
        if (i >= 3) elevenExpected[i] = 0;
    }
    const struct {
        const char* what;
        std::string content;
        Table expected;
    } cases[] = {
        {"ten entries", ten, tenExpected},
        {"out of order", header("3") + line(0, 500) + line(2, 502) + line(1, 501),
         identityWith({{0, 500}, {1, 501}, {2, 0}})},
        {"no section line", "id=3;\nnrOfElements=2;\n" + line(0, 9) + line(1, 9),
         identityWith({{0, 0}, {1, 0}})},
        {"index 11 for index 1", eleven, elevenExpected},
        {"blank lines",
         header("3") + "\n" + line(0, 10) + "\n\n" + line(1, 11) + "\r\n" + line(2, 12),
         identityWith({{0, 10}, {1, 11}, {2, 12}})},
        {"values missing", header("3") + "0,;\n" + line(1, 1000) + "2,",
         identityWith({{0, 0}, {1, 1000}, {2, 0}})},
        {"keys anywhere, section line holds an entry", "[gray] 0,42;\nnrOfElements=1;\n",
         identityWith({{0, 42}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        vb_log_clear();
        EXPECT_EQ(load(c.content), 0);
        EXPECT_EQ(vb_log_count(), 2u); // the computed table, then the file's
        EXPECT_EQ(board(), c.expected);
    }
}

TEST_F(LutFile, FileFailuresKeepTheStoredNames) {
    ASSERT_EQ(load(header("1") + line(0, 77)), 0);
    const std::string good = path("user.lut");
    vb_log_clear();
    EXPECT_EQ(setText(FG_LUT_CUSTOM_FILE, path("missing.lut")), PV_ERR_FILE_NOT_OPENED);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), PV_ERR_FILE_NOT_OPENED);
    EXPECT_EQ(getText(FG_LUT_CUSTOM_FILE), good);
    EXPECT_EQ(vb_log_count(), 0u);
#if !defined(_WIN32)
    // A directory opens, but reading it fails.
    EXPECT_EQ(setText(FG_LUT_CUSTOM_FILE, dir_.path().string()), PV_ERR_FILE_IO_FAILED);
    EXPECT_EQ(getText(FG_LUT_CUSTOM_FILE), good);
#endif
    // A file that disappears keeps the type from switching.
    ASSERT_EQ(set(FG_LUT_TYPE, LUT_TYPE_PROCESSING), 0);
    ASSERT_EQ(setText(FG_LUT_CUSTOM_FILE, file("gone.lut", "")), 0);
    fs::remove(path("gone.lut"));
    EXPECT_EQ(set(FG_LUT_TYPE, LUT_TYPE_CUSTOM), PV_ERR_FILE_NOT_OPENED);
    EXPECT_EQ(type(), LUT_TYPE_PROCESSING);

    ASSERT_EQ(setText(FG_LUT_SAVE_FILE, path("saved.lut")), 0);
    EXPECT_EQ(setText(FG_LUT_SAVE_FILE, path("no-such-dir/x.lut")), PV_ERR_FILE_IO_FAILED);
    EXPECT_EQ(getText(FG_LUT_SAVE_FILE), path("saved.lut"));
    EXPECT_EQ(setText(FG_LUT_SAVE_FILE, ""), 0); // an empty name writes nothing
#if !defined(_WIN32)
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(setText(FG_LUT_SAVE_FILE, "/dev/full"), PV_ERR_FILE_IO_FAILED); // no space left
        EXPECT_EQ(getText(FG_LUT_SAVE_FILE), "");
    }
    // A device is no table: refused at once instead of read for ever.
    if (fs::exists("/dev/zero")) {
        ASSERT_EQ(setText(FG_LUT_CUSTOM_FILE, good), 0);
        ASSERT_EQ(set(FG_LUT_TYPE, LUT_TYPE_CUSTOM), 0);
        EXPECT_EQ(setText(FG_LUT_CUSTOM_FILE, "/dev/zero"), PV_ERR_FILE_NOT_OPENED);
        EXPECT_EQ(getText(FG_LUT_CUSTOM_FILE), good);
    }
#endif
}

TEST_F(LutFile, MalformedFilesNeitherCrashNorReachTheBoardOutOfRange) {
    std::mt19937 random(20240611);
    std::string garbage(64 * 1024, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    enum Outcome { Loaded, Refused, Either };
    const struct {
        const char* what;
        std::string content;
        Outcome outcome; // whether the board takes every value the file yields
    } cases[] = {
        {"empty", "", Loaded},
        {"header cut short", header("4096").substr(0, 40), Loaded},
        {"entry cut short", header("4096") + line(0, 1) + "1,4", Loaded},
        {"binary garbage", garbage, Either},
        {"garbage after the section", header("4096") + garbage, Either},
        {"100 kB of digits", header("4096") + "0," + std::string(100 << 10, '9') + ";\n", Refused},
        {"100 kB line", header("4096") + line(0, 3) + std::string(100 << 10, 'x') + "1,9;\n",
         Loaded},
        {"negative value", header("4096") + line(0, -5), Refused},
        {"negative count", header("-1") + line(0, 1), Loaded},
        {"count beyond 32 bits", header("99999999999") + line(0, 1), Loaded},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int32_t rc = load(c.content);
        if (c.outcome != Either) {
            EXPECT_EQ(rc == 0, c.outcome == Loaded) << rc;
        }
        if (rc == 0) {
            EXPECT_EQ(type(), LUT_TYPE_CUSTOM);
            EXPECT_EQ(copy(), board());
        } else { // the board refused the whole table; the type stays computed
            EXPECT_EQ(type(), LUT_TYPE_PROCESSING);
            EXPECT_EQ(board(), identityWith({}));
        }
        for (uint32_t e : board())
            ASSERT_LE(e, 4095u);
    }
}
