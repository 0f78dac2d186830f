// The line cutter: which lines of a text go to the bootloader, and where each was cut.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/image_lines.h"

namespace iox::firmware {
namespace {

const std::string kData = ":0400000001020304F2\r\n";
const std::string kEof = ":00000001FF\r\n";

// A record of exactly n bytes, line end included.
std::string recordOf(std::size_t n) { return ":" + std::string(n - 3, 'A') + "\r\n"; }

struct CutCase {
    const char* name;
    std::string text;
    std::vector<std::string> sent;
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

class LineCutter : public ::testing::TestWithParam<CutCase> {};

TEST_P(LineCutter, SendsTheLinesBetweenCuts)
{
    std::vector<std::string> sent;
    for (const auto& line : cutImageLines(GetParam().text))
        sent.emplace_back(lineText(GetParam().text, line));
    EXPECT_EQ(sent, GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LineCutter,
    ::testing::Values(
        CutCase{"DataThenEndOfFile", kData + kEof, {kData}},
        CutCase{"SemicolonAfterEndOfFile", kData + kEof + ";comment\r\n", {kData, kEof}},
        CutCase{"SemicolonCutsToo", ":01\r\n;02\r\n:03", {":01\r\n", ";02\r\n"}},
        CutCase{"FirstColonMakesNoCut", ":AB:CD", {":AB"}},
        CutCase{"LeadingDoubleColonStaysAtTheHead", "::AB:CD", {"::AB"}},
        CutCase{"ColonRightAfterACutMakesNone", ":AB::CD:", {":AB", "::CD"}},
        CutCase{"TextWithoutSecondStart", kData, {}},
        CutCase{"EmptyText", "", {}},
        CutCase{"NoStartAtAll", "hello\r\n", {}},
        CutCase{"SixtyThreeCharacters", recordOf(63) + kEof, {recordOf(63)}},
        CutCase{"SixtyFourCharacters", recordOf(64) + kEof, {recordOf(64)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineCutterPositions, EachLineKnowsItsCutAndOnlyTheEndOfFileRecordIsMarked)
{
    const auto lines = cutImageLines(kData + kData + kEof + ";\r\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].position(), kData.size() + 1);
    EXPECT_EQ(lines[1].position(), 2 * kData.size() + 1);
    EXPECT_FALSE(lines[1].endOfFileRecord);
    EXPECT_TRUE(lines[2].endOfFileRecord);
    EXPECT_FALSE(cutImageLines(kData + ":00000001f\r\n:")[1].endOfFileRecord) << "the search is case-sensitive";
}

}  // namespace
}  // namespace iox::firmware
