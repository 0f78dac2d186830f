// The box's state: what one read asks in which order, where an unanswered read ends it, the
// poll loop's changes and stops, and the box as JSON.

#include <gtest/gtest.h>

#include "boxes/box_json.h"
#include "boxes/state.h"
#include "device/commands.h"
#include "tests/device/sim_fixture.h"

namespace iox::boxes {
namespace {

using iox::testing::codesTo;
using iox::testing::OneBox;

TEST_F(OneBox, AReadAsksWhatTheModelHasInOrderAndStopsAtTheFirstSilence)
{
    const struct {
        const char* model;
        std::vector<int> sent;
    } rows[] = {
        {"IOX-MODEL-C", {cmd::ReadByteA, cmd::ReadByteB, cmd::ReadRelaysByte}},
        {"IOX-MODEL-A", {cmd::ReadByteA}},
        {"IOX-MODEL-B", {cmd::ReadByteB, cmd::ReadRelaysByte}},
    };
    io.Set_ByteB(0x5A);
    for (const auto& row : rows) {
        bus.clearLog();
        const State state = readState(io, partsOf(*findModel(row.model)));
        EXPECT_EQ(codesTo(bus), row.sent) << row.model;
        EXPECT_TRUE(state.answered());
        EXPECT_EQ(state.b, state.read.b ? 0x5A : 0) << row.model;
    }
    bus.clearLog();
    bus.faults(0).mangle = [](Report& r) {
        if (r[1] == cmd::ReadByteB)
            r[1] = 0;  // never the echo: B goes unanswered
    };
    io.setExchangeTimeout(std::chrono::milliseconds(20));
    const State state = readState(io, Parts{});
    EXPECT_EQ(codesTo(bus), (std::vector<int>{cmd::ReadByteA, cmd::ReadByteB}));
    EXPECT_EQ(state.failed, Part::B);
    EXPECT_TRUE(state.read.a && !state.read.b && !state.read.relays);
}

TEST_F(OneBox, PollTellsTheFirstStateAndEachChangeAndEndsOnSilenceOrStop)
{
    ASSERT_EQ(io.Set_ByteA_As_Input(), 1);
    std::vector<std::uint8_t> told;
    int pauses = 0;
    Poll poll;
    poll.parts = {true, false, false};
    poll.changed = [&](const State& s) { told.push_back(s.a); };
    poll.pause = [&](std::chrono::milliseconds) {
        ++pauses;
        bus.box(0).setInputA(static_cast<std::uint8_t>(pauses / 2));  // changes every second pause
        if (pauses == 6)
            bus.faults(0).silent = true;
    };
    io.setExchangeTimeout(std::chrono::milliseconds(20));
    const auto failed = boxes::poll(io, poll);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->failed, Part::A);
    EXPECT_EQ(told, (std::vector<std::uint8_t>{0, 1, 2}));  // silent before 3 was read

    bus.faults(0).silent = false;
    poll.stop = [&] { return told.size() >= 5; };
    EXPECT_FALSE(boxes::poll(io, poll));
    EXPECT_EQ(told.size(), 5u);
}

TEST(BoxJson, HoldsEachKnownFieldOnceInUtf8)
{
    Identity listed{"sim:box0", true, true, "10001", std::string("IOX-\xC4"), Firmware{3, "A3"}, false};
    EXPECT_EQ(boxJson(listedFacts(listed)).dump(),
              R"({"serial":"10001","model":"IOX-Ä","firmware":{"revision":"A3","level":3},"path":"sim:box0",)"
              R"("openable":true,"answering":true,"shared_serial":false})");
    EXPECT_EQ(boxJson(listedFacts(Identity{"sim:box1", true, false})).dump(),
              R"({"path":"sim:box1","openable":true,"answering":false})");
    State state;
    state.a = 5;
    state.relays = 9;
    state.read = {true, false, true};
    EXPECT_EQ(boxJson({.name = "rig 3", .online = true, .outputA = false, .outputB = true, .state = state}).dump(),
              R"({"name":"rig 3","online":true,"directions":{"A":"input","B":"output"},"A":5,"relays":9})");
}

}  // namespace
}  // namespace iox::boxes
