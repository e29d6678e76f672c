// The configuration-file text: writing the forms, finding keys, converting values.
#include "files/ConfigFileParser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

using pellvane::Fg_ConfigFileParser;
namespace fs = std::filesystem;

namespace {

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        dir_ = fs::temp_directory_path() /
               ("pellvane-mcf-" + std::to_string(counter++) + "-" +
                std::to_string(std::hash<std::string>{}(
                    ::testing::UnitTest::GetInstance()->current_test_info()->name())));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const char* name) const { return (dir_ / name).string(); }
    std::string write(const char* name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
};

} // namespace

TEST_F(ConfigFile, WritesHeaderSectionsAndBothKeyForms) {
    std::string file = path("setup.mcf");
    {
        Fg_ConfigFileParser p;
        ASSERT_TRUE(p.setSaveFile(file.c_str()));
        p.writeConfigFileHeader();
        p.writeConfigFile("Typ", "Pellvane");
        p.writeConfigFileIntKey("LoadAppletId", 0);
        p.writePortSection(0);
        p.writeConfigFileIntKey("FG_WIDTH", -1024);
        p.wrtiteConfigFileDoubleKey("FG_GEN_FREQ", 40.0);
        p.wrtiteConfigFileDoubleKey("FG_PROCESSING_GAIN", 0.1);
        p.wrtiteConfigFileDoubleKey("FG_TRIGGER_FRAMESPERSECOND", 8.000000000000002);
        p.wrtiteConfigFileDoubleKey("TINY", 1.5e-20);
        p.writeConfigFileUInt64Key("BIG", 18446744073709551615u);
        p.writeConfigFile("FG_LUT_CUSTOM_FILE", "");
        p.writePortSection(2);
    }
    EXPECT_EQ(read(file), "[Kamerasektion]\n\nConfigFileVersion=2.0;\nTyp='Pellvane';\n"
                          "LoadAppletId=0;\n\n[Port A]\nFG_WIDTH=-1024;\nFG_GEN_FREQ=40;\n"
                          "FG_PROCESSING_GAIN=0.1;\nFG_TRIGGER_FRAMESPERSECOND=8;\n"
                          "TINY=1.5e-20;\nBIG=18446744073709551615;\nFG_LUT_CUSTOM_FILE='';\n"
                          "\n[Port C]\n");
}

TEST_F(ConfigFile, OnlyNamesContainingMcfAreAccepted) {
    EXPECT_FALSE(Fg_ConfigFileParser::checkFileType(nullptr));
    EXPECT_FALSE(Fg_ConfigFileParser::checkFileType("setup.txt"));
    EXPECT_TRUE(Fg_ConfigFileParser::checkFileType("setup.mcf.bak"));
    Fg_ConfigFileParser p;
    EXPECT_FALSE(p.setSaveFile(path("setup.txt").c_str()));
    EXPECT_FALSE(fs::exists(path("setup.txt")));
    EXPECT_FALSE(p.setSaveFile((dir_ / "missing" / "x.mcf").string().c_str()));
    Fg_ConfigFileParser reader(path("absent.mcf").c_str(), true);
    EXPECT_FALSE(reader.isOpen());
}

TEST_F(ConfigFile, SavingReplacesTheWholeFile) {
    std::string file = write("old.mcf", std::string(1000, 'x'));
    {
        Fg_ConfigFileParser p;
        ASSERT_TRUE(p.setSaveFile(file.c_str()));
        p.writeConfigFileIntKey("A", 1);
    }
    EXPECT_EQ(read(file), "A=1;\n");
}

TEST_F(ConfigFile, KeysAreFoundOnlyAsWholeKeysAtTheLineStart) {
    // A key that begins another key is found on its own line, whichever comes first.
    for (bool phaseFirst : {true, false}) {
        std::string lines = phaseFirst
                                ? "FG_TRIGGERIN_DOWNSCALE_PHASE=3;\nFG_TRIGGERIN_DOWNSCALE=7;\n"
                                : "FG_TRIGGERIN_DOWNSCALE=7;\nFG_TRIGGERIN_DOWNSCALE_PHASE=3;\n";
        std::string file = write("prefix.mcf", "[Port A]\n" + lines);
        Fg_ConfigFileParser p(file.c_str(), true);
        uint32_t v = 0;
        EXPECT_EQ(p.parsePortIntKey(0, "FG_TRIGGERIN_DOWNSCALE", &v), 0);
        EXPECT_EQ(v, 7u);
        EXPECT_EQ(p.parsePortIntKey(0, "FG_TRIGGERIN_DOWNSCALE_PHASE", &v), 0);
        EXPECT_EQ(v, 3u);
    }
    std::string file = write("blank.mcf", "[Port A]\nFG_WIDTH =512;\n X_KEY=1;\n");
    Fg_ConfigFileParser p(file.c_str(), true);
    uint32_t v = 99;
    EXPECT_EQ(p.parsePortIntKey(0, "FG_WIDTH", &v), -1);
    EXPECT_EQ(p.parsePortIntKey(0, "X_KEY", &v), -1);
    EXPECT_EQ(v, 99u);
}

TEST_F(ConfigFile, SectionsAndLaterSections) {
    std::string file = write("sections.mcf", "FG_HEIGHT=1;\n[Kamerasektion]\nAktivePort=0;\n"
                                             "[Port A]\nFG_WIDTH=64;\n[Port B]\nFG_HEIGHT=480;\n");
    Fg_ConfigFileParser p(file.c_str(), true);
    uint32_t v = 0;
    // Lines before the section do not count; lines after the next section do.
    EXPECT_EQ(p.parsePortIntKey(0, "FG_HEIGHT", &v), 0);
    EXPECT_EQ(v, 480u);
    EXPECT_EQ(p.parsePortIntKey(2, "FG_WIDTH", &v), -1); // no [Port C]
    EXPECT_EQ(p.parseIntKeyFromHeader("AktivePort", &v), 0);
    EXPECT_EQ(v, 0u);
    char out[Fg_ConfigFileParser::kLineBuffer];
    EXPECT_EQ(p.parsePortKey(0, "FG_NOTHING", out), Fg_ConfigFileParser::kNotFound);
    EXPECT_STREQ(out, "Error");
    EXPECT_EQ(p.parsePortKey(0, nullptr, out), -1);
}

TEST_F(ConfigFile, TextValues) {
    std::string file = write("text.mcf", "[Port A]\nEMPTY='';\nPATH='/data/luts/gamma 2.lut';\n"
                                         "ODD='a=b';\nSEMI='x;y';\nQUOTE='it''s';\nBARE=\n"
                                         "Typ='Pellvane';\nHersteller='Corvane GmbH';\n");
    Fg_ConfigFileParser p(file.c_str(), true);
    char out[Fg_ConfigFileParser::kLineBuffer];
    ASSERT_EQ(p.parsePortKey(0, "EMPTY", out), 0);
    EXPECT_STREQ(out, "");
    ASSERT_EQ(p.parsePortKey(0, "PATH", out), 0);
    EXPECT_STREQ(out, "/data/luts/gamma 2.lut");
    ASSERT_EQ(p.parsePortKey(0, "ODD", out), 0);
    EXPECT_STREQ(out, "a");
    ASSERT_EQ(p.parsePortKey(0, "SEMI", out), 0);
    EXPECT_STREQ(out, "x");
    ASSERT_EQ(p.parsePortKey(0, "QUOTE", out), 0);
    EXPECT_STREQ(out, "it");
    ASSERT_EQ(p.parsePortKey(0, "BARE", out), 0);
    EXPECT_STREQ(out, "");
    uint32_t v = 7;
    EXPECT_EQ(p.parsePortIntKey(0, "BARE", &v), 0); // a key without a value reads as 0
    EXPECT_EQ(v, 0u);
    ASSERT_EQ(p.parseKeyFromLine("Typ", out), 0);
    EXPECT_STREQ(out, "Pellvane");
    ASSERT_EQ(p.parseKeyFromLine("Hersteller", out), 0);
    EXPECT_STREQ(out, "Corvane GmbH");
    EXPECT_EQ(p.parseKeyFromLine("Version", out), Fg_ConfigFileParser::kNotFound);
}

TEST_F(ConfigFile, LongLinesAreReadInPiecesAndGarbageIsHarmless) {
    std::string longValue(600, '7');
    std::string garbage;
    for (int i = 0; i < 4096; ++i) {
        // Every byte, 0x1A too: the file is read in binary mode, where it ends nothing.
        garbage += static_cast<char>((i * 131 + 7) & 0xff);
    }
    std::string file = write("long.mcf", "[Port A]\nLONG=" + longValue + ";\n" + garbage +
                                             "\nAFTER=5;\n" + std::string(255, 'K') + "=3;\n");
    Fg_ConfigFileParser p(file.c_str(), true);
    char out[Fg_ConfigFileParser::kLineBuffer];
    ASSERT_EQ(p.parsePortKey(0, "LONG", out), 0);
    EXPECT_EQ(std::string(out), std::string(255 - 5, '7')); // the first piece of the line
    uint32_t v = 0;
    EXPECT_EQ(p.parsePortIntKey(0, "AFTER", &v), 0);
    EXPECT_EQ(v, 5u);
    // A key filling a whole piece has its "=" in the next piece: not found.
    EXPECT_EQ(p.parsePortIntKey(0, std::string(255, 'K').c_str(), &v), -1);
}

TEST_F(ConfigFile, CrLfLineEndsReadExactlyLikeLineFeeds) {
    // Header, sections, both key forms, text values, a line that fills a whole piece up to its
    // line end, and a carriage return that is not part of a line end.
    std::string lf = "[Kamerasektion]\n\nConfigFileVersion=2.0;\nHersteller='Corvane GmbH';\n"
                     "Typ='Pellvane';\nAktivePort=0;\n\n[Port A]\nFG_WIDTH=512;\n"
                     "FG_GEN_FREQ=40.5;\nFG_LUT_CUSTOM_FILE='/luts/a b.lut';\n" +
                     std::string(254, 'P') + "\nFG_HEIGHT=\r4;\n[Port B]\nFG_HEIGHT=480;\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    Fg_ConfigFileParser a(write("lf.mcf", lf).c_str(), true);
    Fg_ConfigFileParser b(write("crlf.mcf", crlf).c_str(), true);

    for (const char* key : {"AktivePort", "ConfigFileVersion"}) {
        uint32_t va = 1, vb = 2;
        EXPECT_EQ(a.parseIntKeyFromHeader(key, &va), 0) << key;
        EXPECT_EQ(b.parseIntKeyFromHeader(key, &vb), 0) << key;
        EXPECT_EQ(va, vb) << key;
    }
    for (const char* key : {"Hersteller", "Typ"}) {
        char ta[Fg_ConfigFileParser::kLineBuffer], tb[Fg_ConfigFileParser::kLineBuffer];
        EXPECT_EQ(a.parseKeyFromLine(key, ta), 0) << key;
        EXPECT_EQ(b.parseKeyFromLine(key, tb), 0) << key;
        EXPECT_STREQ(ta, tb) << key;
    }
    for (int32_t port : {0, 1}) {
        for (const char* key : {"FG_WIDTH", "FG_HEIGHT", "FG_LUT_CUSTOM_FILE", "FG_NONE"}) {
            char ta[Fg_ConfigFileParser::kLineBuffer], tb[Fg_ConfigFileParser::kLineBuffer];
            EXPECT_EQ(a.parsePortKey(port, key, ta), b.parsePortKey(port, key, tb)) << key;
            EXPECT_STREQ(ta, tb) << key;
        }
        double da = -1, db = -1;
        EXPECT_EQ(a.parsePortDoubleKey(port, "FG_GEN_FREQ", &da),
                  b.parsePortDoubleKey(port, "FG_GEN_FREQ", &db));
        EXPECT_EQ(da, db);
    }
    uint32_t width = 0;
    ASSERT_EQ(b.parsePortIntKey(0, "FG_WIDTH", &width), 0);
    EXPECT_EQ(width, 512u);
    char path[Fg_ConfigFileParser::kLineBuffer];
    ASSERT_EQ(b.parsePortKey(0, "FG_LUT_CUSTOM_FILE", path), 0);
    EXPECT_STREQ(path, "/luts/a b.lut");
}

TEST(ConfigFileValues, ConvertLikeTheCLibraryWithoutItsLocale) {
    uint32_t u = 0;
    const std::pair<const char*, uint32_t> ints[] = {
        {"42", 42},
        {"  -7;", uint32_t(-7)},
        {"+12abc", 12},
        {"abc", 0},
        {"", 0},
        {"4294967296", 0},
        {"2147483648", 0x80000000u},
        {"99999999999999999999999", 0xFFFFFFFFu},
    };
    for (const auto& [text, expected] : ints) {
        EXPECT_EQ(Fg_ConfigFileParser::getIntValue(text, &u), 0);
        EXPECT_EQ(u, expected) << text;
    }
    uint64_t w = 0;
    Fg_ConfigFileParser::getIntValue("18446744073709551615", &w);
    EXPECT_EQ(w, 18446744073709551615u);
    Fg_ConfigFileParser::getIntValue("18446744073709551616", &w);
    EXPECT_EQ(w, 18446744073709551615u);
    Fg_ConfigFileParser::getIntValue("-1", &w);
    EXPECT_EQ(w, 18446744073709551615u);

    double d = 0;
    const std::pair<const char*, double> doubles[] = {
        {"40", 40.0}, {"0.1", 0.1}, {" -2.5e3;", -2500.0}, {"8.00000000000", 8.0},
        {"x", 0.0},   {"", 0.0},    {"0x10", 16.0},        {"1e-400", 0.0},
        {".5", 0.5},  {"+3", 3.0},
    };
    for (const auto& [text, expected] : doubles) {
        EXPECT_EQ(Fg_ConfigFileParser::getDoubleValue(text, &d), 0);
        EXPECT_EQ(d, expected) << text;
    }
    Fg_ConfigFileParser::getDoubleValue("1e400", &d);
    EXPECT_TRUE(std::isinf(d) && d > 0);
    Fg_ConfigFileParser::getDoubleValue("-1234567890123456789e400", &d);
    EXPECT_TRUE(std::isinf(d) && d < 0);
    Fg_ConfigFileParser::getDoubleValue("nan", &d);
    EXPECT_TRUE(std::isnan(d));
    // Twelve significant digits survive the round trip.
    double value = 1048.5612345678901;
    Fg_ConfigFileParser::getDoubleValue(Fg_ConfigFileParser::formatDouble(value).c_str(), &d);
    EXPECT_EQ(Fg_ConfigFileParser::formatDouble(d), "1048.56123457");
}
