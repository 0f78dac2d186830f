// The programs' own recordings under data/ (see data/README) played back: the main panel's
// start-up and clicks, the same with one click changed, and an ioxctl flash, whole and cut.

#include <filesystem>
#include <fstream>

#include "ctl_fixture.h"
#include "device/record/recording_backend.h"
#include "device/record/replay_backend.h"
#include "tests/panels/panel_fixture.h"

namespace iox::testing {
namespace {

using record::CallKind;

std::string data(const std::string& name) { return std::string(IOX_RECORD_DATA) + "/" + name; }

class ReplayedPanel : public ::testing::Test {
protected:
    void TearDown() override { end(); }

    // Start-up on the recorded box, a relay and line A3 switched on, one tick. No event pump:
    // Timer1 ticks only when called here, so every run makes the same calls.
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
    // The windows gone and the shared device closed, as at the end of the program.
    void end()
    {
        panels::destroyWindowsForTests();
        session::resetForTests();
    }
    std::unique_ptr<record::ReplayBackend> replay(const std::string& path)
    {
        auto opened = record::openReplay(path);
        EXPECT_TRUE(opened.backend) << opened.error;
        return std::move(opened.backend);
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
    player = replay(data("main_panel.rec"));
    ASSERT_TRUE(player);
    panels::TestForm* form = operate(*player, 5);
    EXPECT_EQ(form->Label6()->text() + " " + form->Label8()->text(), "IOX-MODEL-C 10001");
    EXPECT_EQ((std::vector{ui::backgroundOf(*form->Label4(5)), ui::backgroundOf(*form->Label2(3)),
                           ui::backgroundOf(*form->Label4(4))}),
              (std::vector{ui::kHigh, ui::kHigh, ui::kLow}));
    end();
    player->finish();
    EXPECT_TRUE(player->complete()) << player->stopReport();
}

TEST_F(ReplayedPanel, AChangedClickIsCaughtAtItsLine)
{
    const auto loaded = record::loadRecording(data("main_panel.rec"));
    ASSERT_TRUE(loaded.recording) << loaded.error;
    const auto& calls = loaded.recording->calls;
    const auto relay = std::find_if(calls.begin(), calls.end(),
                                    [](const auto& c) { return c.kind == CallKind::Write && c.report[1] == cmd::SetRelay; });
    ASSERT_NE(relay, calls.end());
    Report changed = relay->report;
    changed[2] = 4;
    const std::string handle = std::to_string(relay->handle);

    player = replay(data("main_panel.rec"));
    ASSERT_TRUE(player);
    const panels::TestForm* form = operate(*player, 4);
    EXPECT_EQ(player->stopReport(), "replay of " + data("main_panel.rec") + " stopped at line " +
                                        std::to_string(relay->line) + ": the recording has\n  write " + handle + " " +
                                        record::hexBytes(relay->report) + "\nbut the program did\n  write " + handle +
                                        " " + record::hexBytes(changed) + "\n  (first difference at byte 2)\n");
    EXPECT_EQ(ui::backgroundOf(*form->Label4(5)), ui::kLow) << "no recorded answer is served after the stop";
}

class ReplayedCtl : public ctl::testing::Ctl {};

TEST_F(ReplayedCtl, FlashPlaysItsRecording)
{
    EXPECT_EQ(ctl({"--replay", data("flash.rec"), "flash", data("USB_IO_Firmware_1.hex")}), 0) << err.str();
    EXPECT_NE(out.str().find("The New Firmware was succesfully updated (2 lines sent)"), std::string::npos) << out.str();
    EXPECT_TRUE(bus.log().empty());
}

TEST_F(ReplayedCtl, ACutRecordingIsRefusedWithItsLineBeforeAnythingRuns)
{
    std::ifstream in(data("flash.rec"));
    std::string text, line;
    for (int n = 1; n < 12 && std::getline(in, line); ++n)
        text += line + "\n";
    std::getline(in, line);
    text += line.substr(0, 40);
    const std::string cut = (std::filesystem::temp_directory_path() / ("cut_" + std::to_string(::getpid()))).string();
    std::ofstream(cut) << text;
    EXPECT_EQ(ctl({"--replay", cut, "flash", data("USB_IO_Firmware_1.hex")}), 2);
    EXPECT_EQ(err.str(), "ioxctl: " + cut + " line 12: the line is cut short (truncated recording)\n");
    EXPECT_EQ(out.str(), "");
    std::filesystem::remove(cut);
}

}  // namespace
}  // namespace iox::testing
