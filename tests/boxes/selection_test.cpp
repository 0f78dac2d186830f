// Listing the boxes with their identity, and choosing one: each outcome, and the requests
// that each way of choosing sends.

#include <gtest/gtest.h>

#include "boxes/selection.h"
#include "device/commands.h"
#include "tests/device/sim_fixture.h"

namespace iox::boxes {
namespace {

using iox::testing::boxWith;
using iox::testing::codesTo;

struct SelectCase {
    const char* name;
    std::vector<std::string> serials;  // boxes sim:box0, sim:box1...
    Wanted wanted;
    Outcome outcome;
    std::string path = "";
    std::vector<int> codesToFirstBox = {};
    std::size_t unasked = 0;
    bool firstSilent = false;
};

class Select : public ::testing::TestWithParam<SelectCase> {};

TEST_P(Select, GivesItsOutcomeAndAsksOnlyForSerialNumbers)
{
    const SelectCase& c = GetParam();
    sim::SimBackend bus;
    for (const auto& serial : c.serials)
        bus.addBox(boxWith(serial));
    if (c.firstSilent)
        bus.faults(0).silent = true;
    const Selection selection = selectBox(bus, c.wanted, std::chrono::milliseconds(20));
    EXPECT_EQ(selection.outcome, c.outcome);
    EXPECT_EQ(selection.path, c.path);
    EXPECT_EQ(selection.unasked, c.unasked);
    if (!c.serials.empty()) {
        EXPECT_EQ(codesTo(bus, 0), c.codesToFirstBox);
    }
    EXPECT_EQ(bus.openHandles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Select,
    ::testing::Values(
        SelectCase{"only_box", {"1"}, {}, Outcome::Chosen, "sim:box0"},
        SelectCase{"none", {}, {}, Outcome::NoneAttached},
        SelectCase{"several", {"1", "2"}, {}, Outcome::Several},
        SelectCase{"by_serial", {"1", "2"}, {"2", {}}, Outcome::Chosen, "sim:box1", {cmd::ReadSn}},
        SelectCase{"serial_case", {"ab1"}, {"AB1", {}}, Outcome::NotFound, "", {cmd::ReadSn}},
        SelectCase{"serial_shared", {"7", "7"}, {"7", {}}, Outcome::SerialShared, "", {cmd::ReadSn}},
        SelectCase{"serial_unasked", {"1", "2"}, {"1", {}}, Outcome::NotFound, "", {cmd::ReadSn}, 1, true},
        SelectCase{"by_path", {"7", "7"}, {{}, "sim:box1"}, Outcome::Chosen, "sim:box1"},
        SelectCase{"path_wins", {"1", "2"}, {"1", "sim:box1"}, Outcome::Chosen, "sim:box1"},
        SelectCase{"unknown_path", {"1"}, {{}, "sim:box9"}, Outcome::NotFound}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListBoxes, GivesEachIdentityWithItsSharedSerialAndAsksInOrder)
{
    sim::SimBackend bus;
    bus.addBox(boxWith("7", "IOX-MODEL-D"));
    bus.addBox(boxWith("7"));
    auto odd = boxWith("8", "IOX-MODEL-B");
    odd.firmware = {3, 0, 0, 0, 'B', 0};  // a revision with a NUL in it
    bus.addBox(odd);
    bus.addBox(boxWith("9"));
    bus.faults(3).refuseOpen = true;
    bus.addBox(boxWith("10"));
    bus.faults(4).silent = true;

    const auto boxes = listBoxes(bus, Ask::Everything, std::chrono::milliseconds(20));
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(codesTo(bus, 0), (std::vector<int>{cmd::ReadSn, cmd::ReadModelName, cmd::GetExtFirmware}));
    EXPECT_EQ(boxes[0].model, "IOX-MODEL-D");
    EXPECT_TRUE(boxes[0].sharedSerial && boxes[1].sharedSerial);
    EXPECT_FALSE(boxes[2].sharedSerial);
    EXPECT_EQ(boxes[2].firmware->revision, "B");
    EXPECT_EQ(boxes[2].firmware->level, 3);
    EXPECT_FALSE(boxes[3].opened);
    EXPECT_TRUE(boxes[4].opened);
    EXPECT_FALSE(boxes[4].answered);
    EXPECT_FALSE(boxes[4].model.has_value());  // nothing more asked of a box that did not answer
    EXPECT_EQ(codesTo(bus, 4), std::vector<int>{cmd::ReadSn});

    bus.clearLog();
    EXPECT_FALSE(listBoxes(bus, Ask::Serial, std::chrono::milliseconds(20))[0].model.has_value());
    EXPECT_EQ(codesTo(bus, 0), std::vector<int>{cmd::ReadSn});
    EXPECT_EQ(bus.openHandles(), 0u);
}

}  // namespace
}  // namespace iox::boxes
