// What a freshly opened board shows a host, byte for byte, against golden files captured from
// the applet before its parameters were declared as data: the GenApi document, the information
// tree walk, the parameter list with descriptions and start-up values, and the configuration
// file saved at start-up. Any change in how the applet is built inside must leave all four
// exactly as they are. A mismatch writes what the applet produced beside the test program
// (golden-actual/), so that the difference can be read with diff.
#include "Harness.h"

#include "TreeText.h"
#include <pellvane/parameters.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace pvtest;

namespace {

class Golden : public OpenBoard {
protected:
    void SetUp() override {
        OpenBoard::SetUp();
        open();
    }

    // Compares with data/<name>; on a difference, names the first differing line and keeps
    // the actual text for diff.
    void expectGolden(const std::string& name, const std::string& actual) {
        std::string expected = readFile(std::filesystem::path(PELLVANE_TEST_DATA_DIR) / name);
        if (actual == expected) return;
        std::filesystem::create_directories("golden-actual");
        std::ofstream(std::filesystem::path("golden-actual") / name, std::ios::binary) << actual;
        std::size_t at = 0;
        while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
            ++at;
        std::size_t line =
            1 + static_cast<std::size_t>(std::count(expected.begin(), expected.begin() + at, '\n'));
        ADD_FAILURE() << name << " differs from line " << line << " on (" << actual.size()
                      << " bytes, expected " << expected.size()
                      << "); the applet's text is in golden-actual/" << name;
    }
};

} // namespace

TEST_F(Golden, GenApiDocument) {
    size_t size = 0;
    ASSERT_EQ(x().Fg_getParameterInfoXML(&fg_, 0, nullptr, &size), 0);
    std::vector<char> buffer(size);
    ASSERT_EQ(x().Fg_getParameterInfoXML(&fg_, 0, buffer.data(), &size), 0);
    expectGolden("startup_genapi.xml", std::string(buffer.data()));
}

TEST_F(Golden, InformationTreeWalk) {
    auto root = static_cast<const ParameterInfoNode*>(x().Fg_getParameterInfo(&fg_, 0));
    ASSERT_NE(root, nullptr);
    expectGolden("startup_tree.txt", pellvane::tools::describeTree(root));
}

// Every parameter by enumeration index: name, identifier, description, and the bytes its get
// leaves in a buffer filled with 0xAB (the value's width and encoding show without knowing its
// type), with the result of the get.
TEST_F(Golden, ParameterListWithStartupValues) {
    std::ostringstream out;
    int32_t count = x().Fg_getNrOfParameter(&fg_);
    ASSERT_GT(count, 0);
    for (int32_t i = 0; i < count; ++i) {
        const char* name = x().Fg_getParameterName(&fg_, i);
        ASSERT_NE(name, nullptr) << i;
        int32_t id = x().Fg_getParameterId(&fg_, i);
        char description[1024] = {};
        std::strncpy(description, name, sizeof description - 1);
        int32_t rc = x().Fg_getParameterWithType(&fg_, PV_DESCRIPTION_QUERY, description, 0, 5);
        unsigned char value[32];
        std::memset(value, 0xAB, sizeof value);
        int32_t get = x().Fg_getParameterWithType(&fg_, id, value, 0, 1);
        out << i << ' ' << name << " id=" << id << " get=" << get << " bytes=";
        std::size_t used = sizeof value;
        while (used > 0 && value[used - 1] == 0xAB)
            --used;
        for (std::size_t b = 0; b < used; ++b) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", value[b]);
            out << hex;
        }
        out << " description(" << rc << ")=\"" << (rc == 0 ? description : "") << "\"\n";
    }
    expectGolden("startup_parameters.txt", out.str());
}

TEST_F(Golden, ConfigurationFileSavedAtStartup) {
    TempDir dir;
    std::string file = (dir.path() / "startup.mcf").string();
    ASSERT_EQ(x().Fg_saveConfig(&fg_, file.c_str()), 0);
    expectGolden("startup.mcf", readFile(file));
}
