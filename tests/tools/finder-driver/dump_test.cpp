// A dump reads back as the tree it was written from, and nothing else does.
#include "Dump.h"
#include "fakes.h"

#include <gtest/gtest.h>

using namespace lemvora::driver;
using namespace lemvora::driver::fakes;

namespace {

TEST(FinderDriver, ADumpReadsBackAsTheTreeItWasWrittenFrom) {
    const std::string dump =
        R"(AXWindow subrole="AXStandardWindow" title="Belgeler" id="FinderWindow" frame=60,60,900,600
  AXSplitGroup desc="list view"
    AXRow subrole="AXOutlineRow" frame=60,120.5,900,20 level=1 disclosing=false
      AXCell
        AXTextField value="\"Alıntı\"\nikinci satır\\\t\x01"
  -
)";
    const auto tree = fromDump(dump);
    EXPECT_EQ(dumped(*tree), dump);
    const auto row = tree->kids[0]->children()[0];
    EXPECT_EQ(row->disclosureLevel(), 1);
    EXPECT_EQ(row->frame()->y, 120.5);
    EXPECT_EQ(row->children()[0]->children()[0]->value(), "\"Alıntı\"\nikinci satır\\\t\x01");
    EXPECT_EQ(dumped(*tree, 1), "AXWindow subrole=\"AXStandardWindow\" title=\"Belgeler\" "
                                "id=\"FinderWindow\" frame=60,60,900,600\n  AXSplitGroup "
                                "desc=\"list view\"\n  -\n");
    for (const char* wrong : {"  AXRow", "AXRow title=Belgeler", "AXRow title=\"a", "AXRow level=x",
                              "AXRow frame=1,2,3", "AXRow title=\"\\q\"",
                              "AXWindow\n  AXGroup\n      AXRow" /* a level skipped */}) {
        EXPECT_FALSE(parseDump(wrong)) << wrong;
        EXPECT_THROW(fromDump(wrong), std::invalid_argument) << wrong;
    }
}

} // namespace
