// The update's phases against a simulated box, with the waits recorded instead of slept:
// the order of phases, waits and lines, and where a stop request ends it. The update
// window's share, and a box that does not come back, are checked in fw_form_test.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/commands.h"
#include "firmware_core/firmware_update.h"
#include "firmware_core/update_front_end.h"
#include "tests/device/sim_fixture.h"

namespace iox::firmware {
namespace {

using Events = std::vector<std::string>;

const std::string kData = ":0400000001020304F2\r\n";
const std::string kEof = ":00000001FF\r\n";

class Recorder : public UpdateObserver {
public:
    void phase(UpdatePhase p) override
    {
        static const char* const kNames[] = {"check", "reset", "await-bootloader", "send", "await-return"};
        events.push_back(kNames[static_cast<int>(p)]);
    }
    void beep() override { events.push_back("beep"); }
    void sendingLine(std::size_t index, std::string_view line) override
    {
        events.push_back("line " + std::to_string(index) + " " + std::to_string(line.size()));
    }
    void lineAnswered(const UpdateProgress& p) override
    {
        events.push_back("answered " + std::to_string(p.linesSent) + " " + std::to_string(int(p.fraction() * 100)));
    }
    Events events;
};

class Update : public ::testing::Test {
protected:
    Update()
    {
        bus.addBox(iox::testing::boxWith("10001"));
        EXPECT_EQ(device.Connect(), 1);
        bus.clearLog();
        std::ofstream(path, std::ios::binary) << kData + kEof + ";\r\n";
        update.setAnswerBounds(std::chrono::milliseconds(20), std::chrono::milliseconds(20));
    }
    ~Update() override { std::filesystem::remove(path); }

    UpdateResult run()
    {
        EXPECT_TRUE(update.checkImage(path)) << update.refusal();
        return update.run(device);
    }

    const std::string path = (std::filesystem::temp_directory_path() /
                              ("USB_IO_Firmware_" + std::to_string(::getpid()) + ".hex")).string();
    sim::SimBackend bus;
    USB_IO device{bus};
    Recorder seen;
    FirmwareUpdate update{bus, seen, [this](std::chrono::milliseconds wait) {
                              seen.events.push_back("sleep " + std::to_string(wait.count()));
                          }};
};

TEST_F(Update, RunsItsPhasesInOrderAndClosesItsHandle)
{
    const UpdateResult result = run();
    EXPECT_EQ(result.outcome, UpdateOutcome::Finished);
    EXPECT_EQ(result.linesSent, 2u);
    EXPECT_EQ(seen.events, (Events{"check", "reset", "await-bootloader", "sleep 2000", "send", "line 0 21",
                                   "answered 1 59", "beep", "line 1 13", "answered 2 94", "await-return", "sleep 2000"}));
    EXPECT_EQ(bus.box(0).bootloaderLines(), (std::vector<std::string>{kData, kEof}));
    EXPECT_EQ(bus.log()[0].report, iox::testing::request(cmd::UpdateFlag, {0x7A, 0xFF, 0x01, 'Y'}));
    EXPECT_FALSE(device.isConnected());
    EXPECT_EQ(bus.openHandles(), 0u);
}

TEST_F(Update, ARefusedImageRunsNothing)
{
    std::ofstream(path, std::ios::binary) << "int main() { return 0; }\n";
    EXPECT_FALSE(update.checkImage(path));
    EXPECT_EQ(update.run(device).outcome, UpdateOutcome::Refused);
    EXPECT_TRUE(bus.log().empty());
    EXPECT_EQ(seen.events, (Events{"check"}));
}

// The stop request turns true at its n-th question: before the reset, before the first
// reopen attempt, before the first line.
class UpdateStop : public Update, public ::testing::WithParamInterface<std::pair<int, UpdateOutcome>> {};

TEST_P(UpdateStop, EndsWhereItIsAsked)
{
    int asked = 0;
    update.setStopRequest([&] { return ++asked == GetParam().first; });
    const UpdateResult result = run();
    EXPECT_EQ(result.outcome, GetParam().second);
    EXPECT_TRUE(bus.box(0).bootloaderLines().empty());
    EXPECT_EQ(bus.box(0).updateFlagSet() || bus.box(0).inBootloader(), GetParam().first > 1);
    EXPECT_EQ(bus.openHandles(), GetParam().first > 1 ? 0u : 1u) << "the device stays connected only when not reset";
}

INSTANTIATE_TEST_SUITE_P(Questions, UpdateStop,
                         ::testing::Values(std::pair{1, UpdateOutcome::Stopped}, std::pair{2, UpdateOutcome::Abandoned},
                                           std::pair{3, UpdateOutcome::Abandoned}));

TEST(UpdateFrontEnd, SaysWhyForEachOutcomeTheLevelAndTheName)
{
    const std::pair<UpdateResult, std::string> reasons[] = {
        {{UpdateOutcome::Stopped}, "stopped before the update began; nothing more was sent to the box"},
        {{UpdateOutcome::NoBootloader}, "the box did not come back at sim:box0 after its reset"},
        {{UpdateOutcome::LineFailed, 2, 'X'},
         "line 2 of 3 was answered with status 88; the box waits in its bootloader for a good image"},
        {{UpdateOutcome::Abandoned, 1}, "stopped after 1 of 3 lines; the box waits in its bootloader for a good image"},
    };
    for (const auto& [result, reason] : reasons)
        EXPECT_EQ(outcomeReason(result, 3, "sim:box0"), reason);
    EXPECT_EQ(updateFailedHeading(), "Error while trying to update firmware");
    EXPECT_EQ(levelRefusal("7", "A2", 2), "the box 7 runs firmware A2 (level 2), which takes no update; nothing was sent");
    EXPECT_FALSE(levelRefusal("7", "A3", 3));
    // A name relative to the current folder is tested as the path it stands for.
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    EXPECT_FALSE(imageNameRefusal("USB_IO_Firmware_1.hex"));
    const auto refused = imageNameRefusal("x/USB_IO_Firmware.hex");
    std::filesystem::current_path(before);
    ASSERT_TRUE(refused);
    EXPECT_EQ(oneLine(*refused), "Ilegal Firmware file: the image's file name must begin with USB_IO_Firmware_ "
                                 "(x/USB_IO_Firmware.hex) Nothing was sent to the USB IO.");
}

}  // namespace
}  // namespace iox::firmware
