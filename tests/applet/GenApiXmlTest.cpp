// The GenApi register description: the size protocol, the exact text of the feature blocks,
// and what is left out.
#include "Harness.h"

#include <pellvane/parameters.h>

#include <string>
#include <vector>

using namespace pvtest;

namespace {

class GenApiXml : public OpenBoard {
protected:
    void SetUp() override { OpenBoard::SetUp(); }
    std::string document() {
        size_t size = 0;
        EXPECT_EQ(x().Fg_getParameterInfoXML(&fg_, 0, nullptr, &size), 0);
        std::vector<char> buffer(size);
        EXPECT_EQ(x().Fg_getParameterInfoXML(&fg_, 0, buffer.data(), &size), 0);
        return std::string(buffer.data());
    }
    // The lines of the block that starts with `first`, up to and including `last`.
    static std::string block(const std::string& doc, const std::string& first,
                             const std::string& last) {
        size_t begin = doc.find(first);
        if (begin == std::string::npos) return {};
        size_t end = doc.find(last, begin);
        return end == std::string::npos ? std::string()
                                        : doc.substr(begin, end + last.size() - begin);
    }
};

} // namespace

TEST_F(GenApiXml, SizeProtocol) {
    open();
    size_t size = 0;
    ASSERT_EQ(x().Fg_getParameterInfoXML(&fg_, 0, nullptr, &size), 0);
    ASSERT_GT(size, 1000u);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), 0);

    std::vector<char> buffer(size + 16, 'x');
    size_t zero = 0;
    EXPECT_EQ(x().Fg_getParameterInfoXML(&fg_, 0, buffer.data(), &zero), PV_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), PV_ERR_BUFFER_TOO_SMALL);

    // The document's length exactly: no room for the terminating zero.
    size_t exact = size - 1;
    EXPECT_EQ(x().Fg_getParameterInfoXML(&fg_, 0, buffer.data(), &exact), PV_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(exact, size - 1);

    size_t enough = size + 16;
    ASSERT_EQ(x().Fg_getParameterInfoXML(&fg_, 0, buffer.data(), &enough), 0);
    EXPECT_EQ(enough, size);
    EXPECT_EQ(buffer[size - 1], '\0');
    EXPECT_EQ(buffer[size - 2], '\n');
    EXPECT_EQ(buffer[size + 15], '\0'); // the rest of the buffer is cleared

    size_t other = 0;
    EXPECT_EQ(x().Fg_getParameterInfoXML(&fg_, 1, nullptr, &other), PV_ERR_NO_PARAMETER_INFO);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), PV_ERR_NO_PARAMETER_INFO);
}

TEST_F(GenApiXml, HeaderAndFeatureBlocksAreWrittenExactly) {
    open();
    std::string doc = document();
    EXPECT_EQ(doc.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n\n<RegisterDescription\n"
                        "ModelName=\"Pellvane\"\nVendorName=\"Corvane\"\n",
                        0),
              0u);
    EXPECT_NE(doc.find("xsi:schemaLocation=\"http://www.genicam.org/GenApi/Version_1_0 "
                       "GenApiSchema_Version_1_0.xsd\">\n"),
              std::string::npos);

    EXPECT_EQ(block(doc, "<IntReg Name=\"FG_WIDTH_Reg\">", "</Integer>\n\r"),
              "<IntReg Name=\"FG_WIDTH_Reg\">\n<Address>100</Address>\n<Length>4</Length>\n"
              "<AccessMode>RW</AccessMode>\n<pPort>DevicePort</pPort>\n<Sign>Signed</Sign>\n"
              "<Endianess>LittleEndian</Endianess>\n</IntReg>\n<Integer Name='FG_WIDTH'>\n"
              "<Description>Width</Description>\n<pValue>FG_WIDTH_Reg</pValue>\n<Min>16</Min>\n"
              "<Max>16384</Max>\n<Inc>8</Inc>\n</Integer>\n\r");

    // Floats with twelve significant digits and no increment.
    std::string prescaler = block(doc, "<Float Name=\"FG_PRESCALER\">", "</Float>\n\r");
    EXPECT_NE(prescaler.find("<Min>0.032</Min>\n<Max>1048.56</Max>\n</Float>"), std::string::npos)
        << prescaler;
    std::string fps = block(doc, "<Float Name=\"FG_TRIGGER_FRAMESPERSECOND\">", "</Float>");
    EXPECT_NE(fps.find("<Min>0.0145519152284</Min>\n<Max>6250000</Max>"), std::string::npos) << fps;
    EXPECT_NE(doc.find("<FloatReg Name=\"FG_PRESCALER_Reg\">\n<Address>10050</Address>\n"
                       "<Length>8</Length>\n"),
              std::string::npos);

    // The string register carries its description before the register body.
    EXPECT_NE(doc.find("<StringReg Name=\"FG_HAP_FILE\">\n<Description>HAP file</Description>\n"
                       "<Address>24108</Address>\n<Length>4096</Length>\n"
                       "<AccessMode>RO</AccessMode>\n<pPort>DevicePort</pPort>\n"
                       "</StringReg>\n\r"),
              std::string::npos);

    // Enumerations: entries by ascending value, then an empty line and the unsigned register.
    EXPECT_NE(
        doc.find("<Enumeration Name='FG_CAMERA_LINK_CAMTYPE'>\n"
                 "<Description>Input Format</Description>\n"
                 "<EnumEntry Name=\"FG_CL_MEDIUM_8_BIT\">\n<Value>208</Value>\n</EnumEntry>\n"
                 "<EnumEntry Name=\"FG_CL_MEDIUM_10_BIT\">\n<Value>210</Value>\n</EnumEntry>\n"
                 "<EnumEntry Name=\"FG_CL_MEDIUM_12_BIT\">\n<Value>212</Value>\n</EnumEntry>\n"
                 "<pValue>FG_CAMERA_LINK_CAMTYPE_Reg</pValue>\n</Enumeration>\n\n"
                 "<IntReg Name=\"FG_CAMERA_LINK_CAMTYPE_Reg\">\n<Address>11011</Address>\n"
                 "<Length>4</Length>\n<AccessMode>RW</AccessMode>\n"
                 "<pPort>DevicePort</pPort>\n<Sign>Unsigned</Sign>\n"
                 "<Endianess>LittleEndian</Endianess>\n</IntReg>\n\r"),
        std::string::npos);
    std::string lutType = block(doc, "<Enumeration Name='FG_LUT_TYPE'>", "</Enumeration>");
    EXPECT_LT(lutType.find("LUT_TYPE_CUSTOM"), lutType.find("LUT_TYPE_PROCESSING"));

    // Empty display names leave the description out; unsigned limits print unsigned.
    std::string phase = block(doc, "<Integer Name='FG_TRIGGERIN_DOWNSCALE_PHASE'>", "</Integer>");
    EXPECT_NE(phase.find("<Max>"), std::string::npos);
    EXPECT_EQ(phase.find("<Max>-"), std::string::npos) << phase;
}

TEST_F(GenApiXml, LegacyParametersAreReadOnlyWhileLegacyModeIsOff) {
    open();
    std::string doc = document();
    for (const char* name : {"FG_EXPOSURE", "FG_DIGIO_OUTPUT"}) {
        std::string reg =
            block(doc, std::string("<IntReg Name=\"") + name + "_Reg\">", "</IntReg>");
        EXPECT_NE(reg.find("<AccessMode>RO</AccessMode>"), std::string::npos) << name;
    }
    std::string mode = block(doc, "<IntReg Name=\"FG_TRIGGERMODE_Reg\">", "</IntReg>");
    EXPECT_NE(mode.find("<AccessMode>RO</AccessMode>"), std::string::npos);
}

TEST_F(GenApiXml, CategoriesAreFlatAndOmittedNodesStayOut) {
    open();
    std::string doc = document();
    std::string root = block(doc, "<Category Name='Root' NameSpace='Standard' >\n", "</Category>");
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(root.find("<pFeature>"), root.find("<pFeature>Miscellaneous</pFeature>"));
    EXPECT_NE(root.find("<pFeature>CameraLink</pFeature>\n</Category>"), std::string::npos);
    EXPECT_NE(root.find("<pFeature>PulseFormGenerator0</pFeature>"), std::string::npos);

    // Both "Statistics" categories of the trigger become one.
    size_t first = doc.find("<Category Name='Statistics'  >");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(doc.find("<Category Name='Statistics'  >", first + 1), std::string::npos);
    std::string stats = block(doc, "<Category Name='Statistics'  >", "</Category>");
    EXPECT_NE(stats.find("FG_TRIGGERIN_STATS_PULSECOUNT"), std::string::npos);
    EXPECT_NE(stats.find("FG_TRIGGEROUT_STATS_PULSECOUNT"), std::string::npos);

    EXPECT_EQ(doc.find("FG_LUT_VALUE"), std::string::npos); // a field has no register form
    EXPECT_EQ(doc.rfind("<Port Name=\"DevicePort\"></Port>\n</RegisterDescription>\n"),
              doc.size() - 55);
}

TEST_F(GenApiXml, RegisterAccessParametersAreNotDescribed) {
    ScopedEnv dra("TARN_ENABLE_DRA", "yes");
    open();
    std::string doc = document();
    EXPECT_EQ(doc.find("DRA_"), std::string::npos);
    EXPECT_NE(doc.find("FG_WIDTH"), std::string::npos);
}
