// Each box command's request on the wire and its effect on the simulated box.

#include <nlohmann/json.hpp>

#include "ctl_fixture.h"
#include "device/commands.h"

namespace iox::ctl::testing {
namespace {

struct CommandCase {
    std::vector<std::string> args;
    Report request;
    std::function<bool(const sim::SimBox&)> effect;
};

class BoxCommand : public Ctl, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(BoxCommand, SendsOneRequestAndChangesTheBox)
{
    bus.addBox(boxWith("10001"));
    const CommandCase& c = GetParam();
    EXPECT_EQ(ctl(c.args), 0) << err.str();
    ASSERT_EQ(sent().size(), 1u);  // a single box is used without asking its serial number
    EXPECT_EQ(sent().front(), c.request);
    EXPECT_TRUE(c.effect(bus.box(0)));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, BoxCommand,
    ::testing::Values(
        CommandCase{{"relay", "3", "on"}, request(cmd::SetRelay, {3, 1}), [](auto& b) { return b.relays() == 0x08; }},
        CommandCase{{"relays", "0xA5"}, request(cmd::SetRelayByte, {0xA5}), [](auto& b) { return b.relays() == 0xA5; }},
        CommandCase{{"port", "B", "in"}, request(cmd::SetByteBAsInput), [](auto& b) { return !b.portBIsOutput(); }},
        CommandCase{{"port", "a", "set", "0b1010"}, request(cmd::SetByte, {'A', 10}),
                    [](auto& b) { return b.drivenA() == 10; }},
        CommandCase{{"port", "B", "set", "255"}, request(cmd::SetByte, {'B', 255}),
                    [](auto& b) { return b.drivenB() == 255; }},
        CommandCase{{"line", "B3", "1"}, request(cmd::SetTtlBit, {'B', 3, 1}),
                    [](auto& b) { return b.drivenB() == 0x08; }},
        CommandCase{{"pulse", "A0", "200"}, request(cmd::SetTtlPulse, {'A', 0, 200}),
                    [](auto& b) { return b.pulses().size() == 1 && b.pulses()[0].ms == 200; }},
        CommandCase{{"spi", "--clock", "B0", "--data", "B1", "--le", "B2", "10110"},
                    request(cmd::SpiOut, {66, 0, 66, 1, 66, 2, 5, 1, 0, 1, 1, 0}),
                    [](auto& b) { return b.spiWords().size() == 1 && b.spiWords()[0].bits.size() == 5; }},
        CommandCase{{"pulse-width", "120"}, request(cmd::SetSpiPulseWidth, {120}),
                    [](auto& b) { return b.pulseWidth() == 120; }}));

TEST_F(Ctl, ReadPrintsTheBoxsLevelsAsTextAndJson)
{
    bus.addBox(boxWith("10001"));
    ASSERT_EQ(ctl({"port", "A", "in"}), 0);
    bus.box(0).setInputA(0x5A);
    EXPECT_EQ(ctl({"read", "A"}), 0);
    EXPECT_EQ(out.str(), "A = 0x5a (01011010)\n");
    EXPECT_EQ(ctl({"read", "A3", "--json"}), 0);
    const auto line = nlohmann::json::parse(out.str());
    EXPECT_EQ(line["name"], "A3");
    EXPECT_EQ(line["value"], 1);
    ASSERT_EQ(ctl({"relays", "6"}), 0);
    EXPECT_EQ(ctl({"--json", "read", "relays"}), 0);
    EXPECT_EQ(nlohmann::json::parse(out.str())["bits"], "00000110");
    EXPECT_EQ(sent().back(), request(cmd::ReadRelaysByte));
}

TEST_F(Ctl, SerialNumberPicksItsBoxAmongSeveral)
{
    bus.addBox(boxWith("10001"));
    bus.addBox(boxWith("20002"));
    EXPECT_EQ(ctl({"--sn", "20002", "relay", "1", "on"}), 0) << err.str();
    EXPECT_EQ(bus.box(0).relays(), 0);
    EXPECT_EQ(bus.box(1).relays(), 0x02);
    EXPECT_EQ(codesSent(0), (std::vector<int>{cmd::ReadSn}));
}

TEST_F(Ctl, TracePrintsEveryReportOnStderr)
{
    bus.addBox(boxWith("10001"));
    EXPECT_EQ(ctl({"--trace", "relay", "3", "on"}), 0);
    EXPECT_EQ(err.str().substr(0, 30), "out sim:box0 00 22 03 01 00 00");
    EXPECT_NE(err.str().find("\nin sim:box0 00 22 "), std::string::npos);
    EXPECT_TRUE(out.str().empty());
}

}  // namespace
}  // namespace iox::ctl::testing
