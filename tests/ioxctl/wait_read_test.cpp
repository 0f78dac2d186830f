// wait and read all: what they send, print and exit with.

#include <regex>

#include "ctl_fixture.h"
#include "device/commands.h"
#include "exit_codes.h"

namespace iox::ctl::testing {
namespace {

TEST_F(Ctl, WaitReadsOnlyTheLinesPortAndExitsByWhatItSaw)
{
    bus.addBox(boxWith("10001"));
    ASSERT_EQ(ctl({"port", "B", "in"}), 0);
    bus.box(0).setInputB(0x20);
    bus.clearLog();
    EXPECT_EQ(ctl({"wait", "b5", "high"}), 0) << err.str();
    EXPECT_TRUE(std::regex_match(out.str(), std::regex("[0-9]+\\.[0-9]{3}\n"))) << out.str();
    EXPECT_EQ(codesSent(), (std::vector<int>{cmd::ReadByteB}));
    EXPECT_EQ(ctl({"wait", "B5", "low", "--timeout", "0"}), code(Exit::WaitTimedOut));
    EXPECT_EQ(err.str(), "ioxctl: B5 did not read low within 0 s\n");
    env.signalCount = [] { return 1; };
    EXPECT_EQ(ctl({"wait", "B5", "low"}), code(Exit::Interrupted));
}

TEST_F(Ctl, ReadAllPrintsOneStateReadOnOneLine)
{
    bus.addBox(boxWith("10001"));
    ASSERT_EQ(ctl({"port", "B", "set", "0x5a"}), 0);
    ASSERT_EQ(ctl({"relays", "9"}), 0);
    EXPECT_EQ(ctl({"read", "all"}), 0);
    EXPECT_EQ(out.str(), "A = 0x00 (00000000)  B = 0x5a (01011010)  relays = 0x09 (00001001)\n");
    EXPECT_EQ(ctl({"read", "all", "--json"}), 0);
    EXPECT_EQ(out.str(), "{\"A\":0,\"B\":90,\"relays\":9}\n");
}

}  // namespace
}  // namespace iox::ctl::testing
