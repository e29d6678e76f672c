// Saving and loading the whole parameter set through .mcf files.
#include "Harness.h"

#include <pellvane/parameters.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

using namespace pvtest;

namespace {

class ConfigFiles : public OpenBoard {
protected:
    void SetUp() override {
        OpenBoard::SetUp();
        open();
    }
    std::string file(const char* name) const { return (dir_.path() / name).string(); }
    int32_t getInt(int32_t id) {
        int32_t v = -1;
        EXPECT_EQ(x().Fg_getParameterWithType(&fg_, id, &v, 0, 1), 0) << id;
        return v;
    }
    double getDouble(int32_t id) {
        double v = -1;
        EXPECT_EQ(x().Fg_getParameterWithType(&fg_, id, &v, 0, 6), 0) << id;
        return v;
    }
    int32_t setInt(int32_t id, int32_t v) {
        return x().Fg_setParameterWithType(&fg_, id, &v, 0, 1);
    }
    int32_t setDouble(int32_t id, double v) {
        return x().Fg_setParameterWithType(&fg_, id, &v, 0, 6);
    }
    // The start-up file with one line replaced (or removed when `line` is empty).
    std::string startupWith(const std::string& key, const std::string& line) {
        std::string text = readFile(PELLVANE_TEST_DATA_DIR "/startup.mcf");
        std::regex pattern("(^|\n)" + key + "=[^\n]*\n");
        return std::regex_replace(text, pattern, "$1" + line,
                                  std::regex_constants::format_first_only);
    }
    std::string writeFile(const char* name, const std::string& text) {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }
    uint64_t bankWidth() {
        uint64_t v = 0;
        vb_register_value(board_, "Device1_Process0_Buffer_0_DRAM_A_0_XLength", &v);
        return v;
    }

    void roundTrip(bool crlf);

    TempDir dir_;
};

} // namespace

TEST_F(ConfigFiles, AFileSavedAtStartupIsTheExpectedOneAndLoadsBackUnchanged) {
    ASSERT_EQ(x().Fg_saveConfig(&fg_, file("a.mcf").c_str()), 0);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), 0);
    EXPECT_EQ(readFile(file("a.mcf")), readFile(PELLVANE_TEST_DATA_DIR "/startup.mcf"));
    ASSERT_EQ(x().Fg_loadConfig(&fg_, file("a.mcf").c_str()), 0);
    ASSERT_EQ(x().Fg_saveConfig(&fg_, file("b.mcf").c_str()), 0);
    EXPECT_EQ(readFile(file("b.mcf")), readFile(file("a.mcf")));
}

// A changed setup saved, optionally converted to CR LF line ends (as an editor on Windows
// leaves it), and loaded into a fresh applet: every saved value comes back, and the file that
// applet saves is the original, with single line feeds, byte for byte.
void ConfigFiles::roundTrip(bool crlf) {
    ASSERT_EQ(setInt(FG_WIDTH, 512), 0);
    ASSERT_EQ(setInt(FG_XOFFSET, 64), 0);
    ASSERT_EQ(setInt(FG_GEN_ROLL, 7), 0);
    ASSERT_EQ(setDouble(FG_PROCESSING_GAIN, 2.0), 0);
    // Switching the legacy mode on resets the area trigger; the frame rate is set after it.
    ASSERT_EQ(setInt(FG_TRIGGER_LEGACY_MODE, 1), 0);
    ASSERT_EQ(setInt(FG_TRIGGERMODE, 2), 0); // ASYNC_TRIGGER
    ASSERT_EQ(setInt(FG_EXPOSURE, 2500), 0);
    ASSERT_EQ(setDouble(FG_TRIGGER_FRAMESPERSECOND, 30.0), 0);
    double fps = getDouble(FG_TRIGGER_FRAMESPERSECOND);
    ASSERT_EQ(x().Fg_saveConfig(&fg_, file("setup.mcf").c_str()), 0);
    std::string saved = readFile(file("setup.mcf"));
    EXPECT_NE(saved.find("FG_PROCESSING_GAIN=2;\n"), std::string::npos);
    EXPECT_EQ(saved.find('\r'), std::string::npos);
    if (crlf) {
        std::string converted;
        for (char c : saved)
            converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
        writeFile("setup.mcf", converted);
    }

    close();
    vb_reset();
    open();
    ASSERT_EQ(getInt(FG_WIDTH), 1024);
    ASSERT_EQ(x().Fg_loadConfig(&fg_, file("setup.mcf").c_str()), 0);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), 0);
    EXPECT_EQ(getInt(FG_WIDTH), 512);
    EXPECT_EQ(bankWidth(), 512u);
    EXPECT_EQ(getInt(FG_XOFFSET), 64);
    EXPECT_EQ(getInt(FG_GEN_ROLL), 7);
    EXPECT_EQ(getDouble(FG_PROCESSING_GAIN), 2.0);
    EXPECT_EQ(getDouble(FG_TRIGGER_FRAMESPERSECOND), fps);
    EXPECT_EQ(getInt(FG_TRIGGER_LEGACY_MODE), 1);
    EXPECT_EQ(getInt(FG_TRIGGERMODE), 2);
    EXPECT_EQ(getInt(FG_EXPOSURE), 2500);
    // The table was computed from the loaded gain: entry 1 is doubled.
    uint32_t table[4096];
    ASSERT_EQ(vb_lut_read(board_, table, 4096), 0);
    EXPECT_EQ(table[1], 2u);
    ASSERT_EQ(x().Fg_saveConfig(&fg_, file("again.mcf").c_str()), 0);
    EXPECT_EQ(readFile(file("again.mcf")), saved);
}

TEST_F(ConfigFiles, AChangedSetupRoundTripsIntoAFreshApplet) {
    roundTrip(false);
}

TEST_F(ConfigFiles, AFileWithWindowsLineEndsLoadsLikeTheSameFileWithLineFeeds) {
    roundTrip(true);
}

TEST_F(ConfigFiles, AnotherAppletsFileIsRefusedBeforeAnythingChanges) {
    std::string text = startupWith("FG_WIDTH", "FG_WIDTH=512;\n");
    size_t typ = text.find("Typ='Pellvane'");
    text.replace(typ, 14, "Typ='Pellvane2'");
    EXPECT_EQ(x().Fg_loadConfig(&fg_, writeFile("other.mcf", text).c_str()), -5000);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), -5000);
    EXPECT_EQ(getInt(FG_WIDTH), 1024);
}

TEST_F(ConfigFiles, AMissingKeyStopsTheLoadWhereTheFirstPassGot) {
    // Late key missing: the first pass has stored everything before it, nothing is applied.
    std::string late = startupWith("FG_WIDTH", "FG_WIDTH=512;\n");
    late = std::regex_replace(late, std::regex("FG_DIGIO_OUTPUT=3;\n"), "");
    EXPECT_EQ(x().Fg_loadConfig(&fg_, writeFile("late.mcf", late).c_str()), -5000);
    EXPECT_EQ(getInt(FG_WIDTH), 512);
    EXPECT_EQ(bankWidth(), 1024u);

    // Early key missing: the keys before it are stored, the ones after it are not.
    close();
    vb_reset();
    open();
    std::string early = startupWith("FG_GEN_ENABLE", "");
    early = std::regex_replace(early, std::regex("FG_WIDTH=1024;"), "FG_WIDTH=640;");
    early = std::regex_replace(early, std::regex("FG_GEN_ROLL=0;"), "FG_GEN_ROLL=9;");
    EXPECT_EQ(x().Fg_loadConfig(&fg_, writeFile("early.mcf", early).c_str()), -5000);
    EXPECT_EQ(getInt(FG_WIDTH), 640);
    EXPECT_EQ(getInt(FG_GEN_ROLL), 0);
    EXPECT_EQ(getInt(FG_GEN_ENABLE), 0);
}

TEST_F(ConfigFiles, ARejectedValueStaysStoredWhileTheHardwareKeepsItsState) {
    std::string text = startupWith("FG_WIDTH", "FG_WIDTH=5;\n");
    EXPECT_EQ(x().Fg_loadConfig(&fg_, writeFile("five.mcf", text).c_str()), 0);
    EXPECT_EQ(getInt(FG_WIDTH), 5);
    EXPECT_EQ(bankWidth(), 1024u);
}

TEST_F(ConfigFiles, UserLookupTableThatDoesNotExist) {
    uint32_t before[4096], after[4096];
    ASSERT_EQ(vb_lut_read(board_, before, 4096), 0);
    std::string text = startupWith("FG_LUT_TYPE", "FG_LUT_TYPE=0;\n");
    text = std::regex_replace(text, std::regex("FG_LUT_CUSTOM_FILE='';"),
                              "FG_LUT_CUSTOM_FILE='" + file("missing.lut") + "';");
    EXPECT_EQ(x().Fg_loadConfig(&fg_, writeFile("lut.mcf", text).c_str()), 0);
    EXPECT_EQ(getInt(FG_LUT_TYPE), 0);
    ASSERT_EQ(vb_lut_read(board_, after, 4096), 0);
    EXPECT_TRUE(std::equal(before, before + 4096, after));
}

TEST_F(ConfigFiles, NamesAndMissingFiles) {
    EXPECT_EQ(x().Fg_saveConfig(&fg_, file("setup.txt").c_str()), -5001);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), -5001);
    EXPECT_EQ(x().Fg_saveConfig(&fg_, file("no/such/dir.mcf").c_str()), -5001);
    EXPECT_EQ(x().Fg_saveConfig(&fg_, nullptr), -5001);
    EXPECT_EQ(x().Fg_loadConfig(&fg_, file("absent.mcf").c_str()), -2076);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), -5000);
    std::string txt = writeFile("setup.txt", readFile(PELLVANE_TEST_DATA_DIR "/startup.mcf"));
    EXPECT_EQ(x().Fg_loadConfig(&fg_, txt.c_str()), -2076);
    EXPECT_EQ(x().Fg_loadConfig(&fg_, nullptr), -2076);
    EXPECT_EQ(x().Fg_loadConfig(&fg_, writeFile("empty.mcf", "").c_str()), -5000);
#if !defined(_WIN32)
    // A pipe is no configuration: refused at once, not waited on for a writer.
    const std::string pipe = file("pipe.mcf");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(x().Fg_loadConfig(&fg_, pipe.c_str()), -2076);
#endif
}
