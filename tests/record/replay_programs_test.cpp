// The programs' own recordings under data/ (see data/README) played back: the main panel's
// start-up and clicks, and an ioxctl flash.

#include "ctl_fixture.h"
#include "device/record/recording_backend.h"
#include "device/record/replay_backend.h"
#include "tests/panels/panel_fixture.h"

namespace iox::testing {
namespace {

std::string data(const std::string& name) { return std::string(IOX_RECORD_DATA) + "/" + name; }

class ReplayedPanel : public ::testing::Test {
protected:
    void TearDown() override { end(); }

    // Start-up, a relay and line A3 switched on, one tick; no event pump, so every run makes the same calls.
    panels::TestForm* operate(HidBackend& bus, int relay)
    {
        session::resetForTests();
        session::setDeviceBackend(bus, [] {});
        panels::TestForm* form = panels::loadMainPanel();
        form->Check1(relay)->click();
        form->Check2(3)->click();
        form->Timer1_Timer();
        return form;
    }
    void end()  // as at the program's end: windows gone, shared device closed
    {
        panels::destroyWindowsForTests();
        session::resetForTests();
    }

    RecordingServices services;
    sim::SimBackend sim;
    std::unique_ptr<HidBackend> recorder;
    std::unique_ptr<record::ReplayBackend> player;
};

TEST_F(ReplayedPanel, StartUpAndClicksPlayBackWhatTheOperatorSaw)
{
    // IOX_WRITE_RECORDINGS=<this folder> makes the recording afresh from a simulated box.
    if (const char* dir = std::getenv("IOX_WRITE_RECORDINGS")) {
        sim.addBox({});
        recorder = record::wrapForRecording(sim, std::string(dir) + "/main_panel.rec", "iox-demo").backend;
        ASSERT_TRUE(recorder);
        operate(*recorder, 5);
        end();
        recorder.reset();
    }
    auto opened = record::openReplay(data("main_panel.rec"));
    ASSERT_TRUE(opened.backend) << opened.error;
    player = std::move(opened.backend);
    panels::TestForm* form = operate(*player, 5);
    EXPECT_EQ(form->Label6()->text() + " " + form->Label8()->text(), "IOX-MODEL-C 10001");
    EXPECT_EQ((std::vector{ui::backgroundOf(*form->Label4(5)), ui::backgroundOf(*form->Label2(3)),
                           ui::backgroundOf(*form->Label4(4))}),
              (std::vector{ui::kHigh, ui::kHigh, ui::kLow}));
    end();
    player->finish();
    EXPECT_TRUE(player->complete()) << player->stopReport();
}

class ReplayedCtl : public ctl::testing::Ctl {};

// Without --replay-timing the replay waits for nothing, not even the update's own waits.
TEST_F(ReplayedCtl, FlashPlaysItsRecordingWithoutWaiting)
{
    EXPECT_EQ(ctl({"--replay", data("flash.rec"), "flash", data("USB_IO_Firmware_1.hex")}), 0) << err.str();
    EXPECT_NE(out.str().find("The New Firmware was succesfully updated (2 lines sent)"), std::string::npos) << out.str();
    EXPECT_TRUE(bus.log().empty());
    EXPECT_EQ(pauses, 0);
}

}  // namespace
}  // namespace iox::testing
