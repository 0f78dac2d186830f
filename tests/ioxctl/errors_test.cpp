// Every refusal: its exit code, a message on stderr, and nothing sent that it forbids.

#include "ctl_fixture.h"
#include "device/commands.h"
#include "exit_codes.h"

namespace iox::ctl::testing {
namespace {

using Args = std::vector<std::string>;

class RefusedArgument : public Ctl, public ::testing::WithParamInterface<Args> {};

TEST_P(RefusedArgument, SendsNothingAndExitsWithBadArgument)
{
    bus.addBox(boxWith("10001"));
    EXPECT_EQ(ctl(GetParam()), code(Exit::BadArgument));
    EXPECT_TRUE(bus.log().empty());
    EXPECT_EQ(bus.openCalls(), 0u);  // not even discovery
    EXPECT_EQ(err.str().rfind("ioxctl: ", 0), 0u) << err.str();
    EXPECT_TRUE(out.str().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Values, RefusedArgument,
    ::testing::Values(Args{"line", "A3", "2"}, Args{"relays", "0x100"}, Args{"port", "C", "out"},
                      Args{"port", "A", "set"}, Args{"port", "A", "out", "3"}, Args{"relay", "8", "on"},
                      Args{"relay", "1", "maybe"}, Args{"read", "C"}, Args{"wait", "B5", "up"},
                      Args{"watch", "--count", "0"},
                      Args{"--sn", "1", "--path", "sim:box0", "list"}, Args{"--simulate", "IOX-MODEL-X,1", "list"},
                      Args{"frobnicate"}, Args{"--replay-timing", "list"},
                      Args{"--replay", "/nonexistent.rec", "list"}, Args{"--record", "/nonexistent/r.rec", "list"},
                      Args{"--replay", "r.rec", "--simulate", "IOX-MODEL-C", "list"}, Args{}));

struct SelectionCase {
    const char* name;
    std::vector<std::string> serials;
    std::vector<std::string> args;
    Exit exit;
    std::vector<int> codesToFirstBox;  // only serial-number requests, or the read that went unanswered
    bool refuseOpen = false, silent = false;  // every box
    std::string says = "";
};

class Selection : public Ctl, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(Selection, RefusesWithItsCodeOnStderrOnly)
{
    const SelectionCase& c = GetParam();
    for (const auto& serial : c.serials)
        bus.faults(bus.addBox(boxWith(serial))) = {.refuseOpen = c.refuseOpen, .silent = c.silent, .mangle = {}};
    EXPECT_EQ(ctl(c.args), code(c.exit)) << err.str();
    EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
    EXPECT_TRUE(out.str().empty() && !err.str().empty());
    EXPECT_EQ(codesSent(0), c.codesToFirstBox);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, Selection,
    ::testing::Values(
        SelectionCase{"none", {}, {"relay", "1", "on"}, Exit::NoBox, {}},
        SelectionCase{"several", {"1", "2"}, {"relay", "1", "on"}, Exit::SeveralBoxes, {}},
        SelectionCase{"unknown_sn", {"1", "2"}, {"--sn", "3", "relay", "1", "on"}, Exit::NotFound, {cmd::ReadSn}},
        SelectionCase{"unknown_path", {"1"}, {"--path", "sim:box9", "relay", "1", "on"}, Exit::NotFound, {}, false, false,
                      "no box at the path"},
        SelectionCase{"held", {"1"}, {"relay", "1", "on"}, Exit::CannotOpen, {}, true},
        SelectionCase{"silent", {"1"}, {"read", "B"}, Exit::NotAnswering, {cmd::ReadByteB}, false, true,
                      "did not answer"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Ctl, HelpListsTheExitCodesAndAnUnknownCommandIsNamed)
{
    EXPECT_EQ(ctl({"--help"}), 0);
    EXPECT_NE(out.str().find(" 7  box not answering"), std::string::npos);
    EXPECT_NE(out.str().find("hex-check"), std::string::npos);
    EXPECT_EQ(ctl({"--sn", "1", "frobnicate", "2"}), code(Exit::BadArgument));
    EXPECT_NE(err.str().find("unknown command \"frobnicate\""), std::string::npos) << err.str();
}

}  // namespace
}  // namespace iox::ctl::testing
