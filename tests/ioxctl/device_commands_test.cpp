// Each box command's request on the wire, and what read and --trace print.

#include "ctl_fixture.h"
#include "device/commands.h"

namespace iox::ctl::testing {
namespace {

using CommandCase = std::pair<std::vector<std::string>, Report>;

class BoxCommand : public Ctl, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(BoxCommand, SendsItsOneRequest)
{
    bus.addBox(boxWith("10001"));
    EXPECT_EQ(ctl(GetParam().first), 0) << err.str();
    // A single box is used without asking its serial number.
    EXPECT_EQ(bus.requestsTo(0), std::vector<Report>{GetParam().second});
}

INSTANTIATE_TEST_SUITE_P(
    Commands, BoxCommand,
    ::testing::Values(CommandCase{{"relay", "3", "on"}, request(cmd::SetRelay, {3, 1})},
                      CommandCase{{"relays", "0xA5"}, request(cmd::SetRelayByte, {0xA5})},
                      CommandCase{{"port", "B", "in"}, request(cmd::SetByteBAsInput)},
                      CommandCase{{"port", "a", "set", "0b1010"}, request(cmd::SetByte, {'A', 10})},
                      CommandCase{{"line", "B3", "1"}, request(cmd::SetTtlBit, {'B', 3, 1})},
                      CommandCase{{"pulse", "A0", "200"}, request(cmd::SetTtlPulse, {'A', 0, 200})},
                      CommandCase{{"spi", "--clock", "B0", "--data", "B1", "--le", "B2", "10110"},
                                  request(cmd::SpiOut, {66, 0, 66, 1, 66, 2, 5, 1, 0, 1, 1, 0})},
                      CommandCase{{"pulse-width", "120"}, request(cmd::SetSpiPulseWidth, {120})}));

TEST_F(Ctl, ReadPrintsLevelsAsTextAndJsonAndTraceEveryReportOnStderr)
{
    bus.addBox(boxWith("10001"));
    ASSERT_EQ(ctl({"port", "A", "in"}), 0);
    bus.box(0).setInputA(0x5A);
    EXPECT_EQ(ctl({"read", "A"}), 0);
    EXPECT_EQ(out.str(), "A = 0x5a (01011010)\n");
    EXPECT_EQ(ctl({"read", "A3", "--json"}), 0);
    EXPECT_EQ(out.str(), "{\"name\":\"A3\",\"value\":1}\n");
    ASSERT_EQ(ctl({"--trace", "relays", "6"}), 0);
    EXPECT_EQ(err.str().substr(0, 27), "out sim:box0 00 21 06 00 00");
    EXPECT_NE(err.str().find("\nin sim:box0 00 21 "), std::string::npos);
    EXPECT_TRUE(out.str().empty());
    EXPECT_EQ(ctl({"--json", "read", "relays"}), 0);
    EXPECT_EQ(out.str(), "{\"bits\":\"00000110\",\"name\":\"relays\",\"value\":6}\n");
}

// Among two boxes sharing a serial number and a third, --sn and --path pick theirs.
TEST_F(Ctl, SerialNumberOrPathPicksItsBoxAmongSeveral)
{
    bus.addBox(boxWith("7"));
    bus.addBox(boxWith("7"));
    bus.addBox(boxWith("20002"));
    EXPECT_EQ(ctl({"--sn", "20002", "relay", "1", "on"}), 0) << err.str();
    EXPECT_EQ(bus.requestsTo(2).back(), request(cmd::SetRelay, {1, 1}));
    EXPECT_EQ(ctl({"relay", "2", "on", "--path", "sim:box0"}), 0) << err.str();
    EXPECT_EQ(bus.box(0).relays(), 0x04);
    EXPECT_EQ(bus.box(1).relays(), 0);
}

}  // namespace
}  // namespace iox::ctl::testing
