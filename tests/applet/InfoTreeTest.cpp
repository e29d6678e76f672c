// The information tree as a host sees it through Fg_getParameterInfo, checked node by node
// against the expected tree in data/parameter_tree.txt.
#include "Harness.h"
#include "TreeText.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace pvtest;

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Fields that follow other parameters at run time; their own modules' tests check them.
pellvane::tools::TreeTextMask dynamicFields() {
    pellvane::tools::TreeTextMask mask;
    std::istringstream in(readFile(PELLVANE_TEST_DATA_DIR "/dynamic_nodes.txt"));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string what;
        int32_t id = 0;
        if (!(words >> what >> id)) continue;
        (what == "access" ? mask.access : mask.limits).insert(id);
    }
    return mask;
}

class InfoTree : public OpenBoard {
protected:
    void SetUp() override {
        OpenBoard::SetUp();
        open();
        root_ = static_cast<const ParameterInfoNode*>(x().Fg_getParameterInfo(&fg_, 0));
        ASSERT_NE(root_, nullptr);
    }
    const ParameterInfoNode* root_ = nullptr;
};

} // namespace

TEST_F(InfoTree, MatchesTheExpectedTreeNodeByNode) {
    pellvane::tools::TreeTextMask mask = dynamicFields();
    ASSERT_FALSE(mask.access.empty());
    std::vector<std::string> actual = linesOf(pellvane::tools::describeTree(root_, &mask));
    std::vector<std::string> expected =
        linesOf(readFile(PELLVANE_TEST_DATA_DIR "/parameter_tree.txt"));
    ASSERT_FALSE(expected.empty());
    for (size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        ASSERT_LT(i, actual.size()) << "missing from line " << i + 1 << ": " << expected[i];
        ASSERT_LT(i, expected.size()) << "unexpected line " << i + 1 << ": " << actual[i];
        EXPECT_EQ(actual[i], expected[i]) << "line " << i + 1;
    }
}

TEST_F(InfoTree, RootsAreLinkedBothWaysFromMiscellaneousBackToCameraLink) {
    EXPECT_STREQ(root_->displayName, "Miscellaneous");
    EXPECT_EQ(root_->nextRoot, nullptr);
    int roots = 1;
    const ParameterInfoNode* r = root_;
    for (; r->previousRoot != nullptr; r = r->previousRoot, ++roots)
        EXPECT_EQ(r->previousRoot->nextRoot, r);
    EXPECT_STREQ(r->displayName, "Camera Link");
    EXPECT_EQ(roots, 10);
    // Categories carry no name, no parent name at the root, and port 0 like every node.
    EXPECT_EQ(r->name, nullptr);
    EXPECT_EQ(r->parentName, nullptr);
    EXPECT_EQ(r->port, 0);
}

TEST_F(InfoTree, TriggerHoldsElevenCategoriesThenFourParameters) {
    const ParameterInfoNode* trigger = root_;
    while (trigger != nullptr && std::strcmp(trigger->displayName, "Trigger") != 0)
        trigger = trigger->previousRoot;
    ASSERT_NE(trigger, nullptr);
    ASSERT_EQ(trigger->a.childCount, 15);
    const char* categories[] = {"Legacy",
                                "Trigger Input",
                                "Sequencer",
                                "Queue",
                                "Pulse Form Generator 0",
                                "Pulse Form Generator 1",
                                "Pulse Form Generator 2",
                                "Pulse Form Generator 3",
                                "CC Signal Mapping",
                                "Digital Output",
                                "Output Event"};
    for (int i = 0; i < 11; ++i) {
        const ParameterInfoNode* c = trigger->b.children[i];
        EXPECT_EQ(c->kind, PI_KIND_CATEGORY);
        EXPECT_STREQ(c->displayName, categories[i]);
        EXPECT_EQ(c->index, i);
        EXPECT_EQ(c->depth, 1);
        EXPECT_STREQ(c->parentName, "Trigger");
    }
    const char* parameters[] = {"FG_AREATRIGGERMODE", "FG_TRIGGERSTATE",
                                "FG_TRIGGER_FRAMESPERSECOND", "FG_TRIGGER_LEGACY_MODE"};
    for (int i = 0; i < 4; ++i)
        EXPECT_STREQ(trigger->b.children[11 + i]->name, parameters[i]);
}

TEST_F(InfoTree, HostServedParametersHaveNoNode) {
    std::string text = pellvane::tools::describeTree(root_);
    for (const char* name : {"FG_TRANSFER_LEN", "FG_NR_OF_PROCESSES", "FG_NR_OF_DMAS",
                             "FG_NR_OF_CAMS", "FG_DMA_PORT", "FG_CAM_PORT", "FG_APC_STOP_TIMEOUT"})
        EXPECT_EQ(text.find(std::string(" ") + name + " "), std::string::npos) << name;
    // Every other parameter of the applet has exactly one.
    for (int32_t i = 0; i < 130; ++i) {
        std::string name = x().Fg_getParameterName(&fg_, i);
        size_t first = text.find(" " + name + " \"");
        if (first == std::string::npos) continue;
        EXPECT_EQ(text.find(" " + name + " \"", first + 1), std::string::npos) << name;
    }
}
