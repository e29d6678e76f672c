// The file check reads configuration and lookup-table files as the applet loads them: for
// each file of a set, good and broken, every value the check's reader finds is the value the
// applet holds after loading the file, and a file the applet refuses is one the check reports
// errors for. A change to the applet's loading rules that the check does not follow fails here.
#include "FileCheck.h"
#include "Board.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

using namespace pellvane::tools;

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void spill(const std::filesystem::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

// Replaces the line that begins with `start`.
std::string replaceLine(std::string text, const std::string& start, const std::string& line) {
    const auto at = text.find("\n" + start);
    EXPECT_NE(at, std::string::npos) << start;
    const auto end = text.find('\n', at + 1);
    return text.replace(at + 1, end - at - 1, line);
}

class FileCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("pellvane-filecheck-" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        Board b("Pellvane", 0);
        b.set(b.find("FG_PROCESSING_GAMMA"), "2");
        startup_ = (dir_ / "startup.mcf").string();
        lut_ = (dir_ / "gamma.lut").string();
        b.saveConfig(startup_);
        b.set(b.find("FG_LUT_SAVE_FILE"), lut_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string file(const std::string& name, const std::string& text) {
        const auto p = dir_ / name;
        spill(p, text);
        return p.string();
    }

    std::filesystem::path dir_;
    std::string startup_, lut_;
};

TEST_F(FileCheckTest, ConfigurationValuesReadAsTheAppletLoadsThem) {
    const std::string good = slurp(startup_);
    std::string header = good.substr(0, good.find("[Port A]"));
    std::string port = good.substr(good.find("[Port A]"));
    std::string longName(300, 'x');
    const std::vector<std::pair<std::string, std::string>> files = {
        {"good.mcf", good},
        {"width13.mcf", replaceLine(good, "FG_WIDTH=", "FG_WIDTH=13;")},
        {"letters.mcf", replaceLine(good, "FG_WIDTH=", "FG_WIDTH=abc;")},
        {"blanks.mcf", replaceLine(good, "FG_HEIGHT=", "FG_HEIGHT=  480xyz;")},
        {"negative.mcf", replaceLine(good, "FG_XOFFSET=", "FG_XOFFSET=-8;")},
        {"double.mcf", replaceLine(good, "FG_PROCESSING_GAMMA=", "FG_PROCESSING_GAMMA=2.5e0junk;")},
        {"emptyvalue.mcf", replaceLine(good, "FG_YOFFSET=", "FG_YOFFSET=;")},
        // A key that begins another one is found on its own line, whichever comes first.
        {"prefix.mcf", replaceLine(replaceLine(good, "FG_TRIGGERIN_DOWNSCALE_PHASE=", ""),
                                   "FG_TRIGGERIN_DOWNSCALE=",
                                   "FG_TRIGGERIN_DOWNSCALE_PHASE=2;\nFG_TRIGGERIN_DOWNSCALE=5;")},
        // The first occurrence after the section counts; one before the section does not.
        {"twice.mcf", good + "FG_WIDTH=64;\n"},
        {"before.mcf", header + "FG_HEIGHT=100;\n" + port},
        {"quotes.mcf", replaceLine(good, "FG_LUT_CUSTOM_FILE=", "FG_LUT_CUSTOM_FILE='a=b;c';")},
        {"long.mcf",
         replaceLine(good, "FG_LUT_CUSTOM_FILE=", "FG_LUT_CUSTOM_FILE='" + longName + "';")},
        {"crlf.mcf",
         [&] {
             std::string t;
             for (char c : good)
                 t += c == '\n' ? std::string("\r\n") : std::string(1, c);
             return t;
         }()},
        {"missing.mcf", replaceLine(good, "FG_DIGIO_OUTPUT=", "")},
        {"foreign.mcf", replaceLine(good, "Typ=", "Typ='Other';")},
    };
    for (const auto& [name, text] : files) {
        SCOPED_TRACE(name);
        const std::string path = file(name, text);
        std::vector<std::pair<std::string, bool>> keys;
        std::vector<Finding> findings;
        {
            // The check tries values on a board of its own; the load gets a fresh one.
            Board fresh("Pellvane", 0);
            FileChecker checker(fresh);
            keys = checker.configKeys();
            findings = checker.check(path);
        }
        Board board("Pellvane", 0);
        const int32_t loaded = Fg_loadConfig(board.handle(), path.c_str());
        if (loaded != 0) {
            EXPECT_TRUE(hasErrors(findings)) << "the applet refused the file with " << loaded;
            continue;
        }
        ConfigFileReader reader(path);
        for (const auto& [key, isText] : keys) {
            SCOPED_TRACE(key);
            const std::optional<KeyReading> r = reader.portKey(key);
            ASSERT_TRUE(r.has_value());
            const Parameter& p = board.find(key);
            const Value v = board.get(p);
            if (isText) {
                EXPECT_EQ(v.text, r->text);
            } else if (p.type == ValueType::Double) {
                const double expected = ConfigFileReader::doubleValue(r->text);
                // Rates and pulse lengths come back as their registers hold them.
                EXPECT_NEAR(v.real, expected, std::max(1e-6 * std::fabs(expected), 0.01));
            } else if (p.type == ValueType::UInt32 || p.type == ValueType::HostServed) {
                EXPECT_EQ(static_cast<uint32_t>(v.integer),
                          ConfigFileReader::integerValue(r->text));
            } else {
                EXPECT_EQ(static_cast<int32_t>(v.integer),
                          static_cast<int32_t>(ConfigFileReader::integerValue(r->text)));
            }
        }
    }
}

TEST_F(FileCheckTest, LookupTableEntriesReadAsTheAppletLoadsThem) {
    const std::string good = slurp(lut_);
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < good.size();) {
        const auto end = good.find('\n', pos);
        lines.push_back(good.substr(pos, end - pos + 1));
        pos = end + 1;
    }
    auto join = [&](const std::function<bool(std::size_t)>& keep) {
        std::string t;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (keep(i)) t += lines[i];
        return t;
    };
    constexpr std::size_t kFirstEntry = 10; // the line index of entry 0
    std::string swapped = good;
    {
        // Entries in the order 0, 2, 1: entry 1 comes from the third line, entry 2 stays 0.
        const std::string one = lines[kFirstEntry + 1], two = lines[kFirstEntry + 2];
        swapped = join([&](std::size_t i) { return i < kFirstEntry + 1; }) + two + one +
                  join([&](std::size_t i) { return i > kFirstEntry + 2; });
    }
    std::string crlf;
    for (char c : good)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"good.lut", good},
        {"cut.lut", join([&](std::size_t i) { return i < kFirstEntry + 89; })},
        {"hello.lut", "hello\n"},
        {"swapped.lut", swapped},
        {"nosection.lut", join([&](std::size_t i) { return lines[i] != "[gray]\n"; })},
        {"ten.lut", replaceLine(good, "nrOfElements=", "nrOfElements=10;")},
        {"eleven.lut", join([&](std::size_t i) { return i != kFirstEntry + 1; })},
        {"blank.lut", join([](std::size_t) { return true; }) + "\n\n"},
        {"crlf.lut", crlf},
        {"letters.lut", replaceLine(good, "7,", "7,seven;")},
        {"sameline.lut", replaceLine(good, "[gray]", "[gray] 0,77;")},
    };
    for (const auto& [name, text] : files) {
        SCOPED_TRACE(name);
        const std::string path = file(name, text);
        Board board("Pellvane", 0);
        const uint32_t size = board.lutEntries();
        std::vector<uint32_t> before(size);
        for (uint32_t i = 0; i < size; ++i)
            before[i] = board.lutEntry(i);
        board.set(board.find("FG_LUT_CUSTOM_FILE"), path);
        board.set(board.find("FG_LUT_TYPE"), "LUT_TYPE_CUSTOM");
        const LutReading r = readLutFile(path, size);
        ASSERT_TRUE(r.opened);
        for (uint32_t i = 0; i < size; ++i) {
            const uint32_t expected = i < r.entries.size() ? r.entries[i] : before[i];
            ASSERT_EQ(board.lutEntry(i), expected) << "entry " << i;
        }
    }
}

TEST_F(FileCheckTest, AnEntryTheBoardRefusesFailsTheLoadAndTheCheck) {
    const std::string path = file("big.lut", replaceLine(slurp(lut_), "5,", "5,9999;"));
    std::vector<Finding> findings;
    {
        Board board("Pellvane", 0);
        findings = FileChecker(board).check(path);
    }
    Board board("Pellvane", 0);
    board.set(board.find("FG_LUT_CUSTOM_FILE"), path);
    EXPECT_THROW(board.set(board.find("FG_LUT_TYPE"), "LUT_TYPE_CUSTOM"), BoardError);
    ASSERT_TRUE(hasErrors(findings));
    EXPECT_EQ(findings.front().key, "entry 5");
}

} // namespace
