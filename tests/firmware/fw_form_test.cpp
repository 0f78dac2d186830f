// The update window's UpdateFirmware against a simulated box: the main panel stopped at the
// reset, the progress shown, the restart, and the end of a failed update. The order of the
// update's phases and lines is the firmware core's to check.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <map>

#include "tests/firmware/update_fixture.h"

namespace iox::testing {
namespace {

using firmware::loadedFWForm;

const std::string kFailed = "message:Error while trying to update firmware - Program will shut down";

class UpdateFirmware : public FirmwareTest {
protected:
    void run(QString path) { firmware::fwForm().UpdateFirmware(path); }
};

// The bar after each answer shows the cut's share of the text, the whole track at the end.
// The end-of-file record's 'F' ends the lines; then the main panel starts again.
TEST_F(UpdateFirmware, StopsThePanelAtTheResetShowsEachAnswerAndRestartsThePanel)
{
    QPointer<panels::TestForm> before = loadPanel();
    bool stoppedAtReset = false;
    bus.faults(box).mangle = [&](Report& answer) {
        if (answer[1] == cmd::ResetCpu)
            stoppedAtReset = !before->isEnabled() && !before->Timer1()->isActive();
    };
    std::map<std::size_t, std::pair<QString, int>> shownAfter;  // lines answered -> Label4, Label6 width
    services.onProcessEvents = [&] {
        if (auto* form = loadedFWForm(); form && form->isVisible())
            shownAfter[bus.box(box).bootloaderLines().size()] = {form->Label4()->text(), form->Label6()->width()};
    };
    bool fullBar = false;
    services.onMessage = [&](const QString&) {  // the success message
        fullBar = loadedFWForm()->Label6()->geometry() == loadedFWForm()->Label3()->geometry();
    };
    run(writeImage(kData1 + kEndOfFile + ";after the end\r\n" + kData2));

    Requests expected{"Flag", "ResetCPU", kData1, kEndOfFile, "SN"};
    expected.insert(expected.end(), kLoadRequests.begin(), kLoadRequests.end());
    expected.insert(expected.end(), {"Firmware", "Firmware"});
    EXPECT_EQ(wire(), expected);
    EXPECT_TRUE(stoppedAtReset);
    // Cuts at 46 and 59 of 119 characters on a track of 409 pixels.
    EXPECT_EQ(shownAfter[1], std::pair(QString("39%"), 158));
    EXPECT_EQ(shownAfter[2], std::pair(QString("50%"), 203));
    EXPECT_TRUE(fullBar);
    EXPECT_EQ(services.events,
              (std::vector<std::string>{"sleep:2000", "beep",
                                        "message:The New Firmware was succesfully updated\r\nThe Program will ReStart",
                                        "sleep:2000"}));
    panels::TestForm* after = panels::mainPanel();
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after, before.data());
    EXPECT_TRUE(before->isHidden() && after->isVisible() && after->isEnabled());
    EXPECT_EQ(loadedFWForm(), nullptr);
    EXPECT_EQ(bus.openHandles(), 1u);  // the update's own handle was closed
}

// A line the bootloader refuses with its status, or a box that leaves while taking a line.
struct LineFailure {
    const char* name;
    std::size_t atLine;
    std::uint8_t status;
    bool vanishes = false;
};
void PrintTo(const LineFailure& failure, std::ostream* os) { *os << failure.name; }

class UpdateFirmwareFails : public UpdateFirmware, public ::testing::WithParamInterface<LineFailure> {};

TEST_P(UpdateFirmwareFails, ShowsTheErrorEndsTheProgramAndSendsNothingMore)
{
    QPointer<panels::TestForm> panel = loadPanel();
    const LineFailure failure = GetParam();
    bus.box(box).setLineAnswer([this, failure](const std::string&, std::size_t index) -> std::uint8_t {
        if (index == failure.atLine && failure.vanishes)
            bus.vanish(box);
        return index == failure.atLine ? failure.status : 'O';
    });
    run(writeImage(kData1 + kData2 + kData1 + kData2 + kEndOfFile));

    EXPECT_EQ(linesOnWire().size(), failure.atLine + 1);
    EXPECT_EQ(services.events, (std::vector<std::string>{"sleep:2000", kFailed, "end"}));
    EXPECT_FALSE(firmware::updateRunning());
    EXPECT_EQ(bus.openHandles(), 0u);
    // Nothing more goes out, even with the event loop running: the main panel stays stopped.
    const std::size_t sent = bus.log().size();
    bus.reappear(box);
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
         std::chrono::steady_clock::now() < until;)
        QCoreApplication::processEvents();
    EXPECT_EQ(bus.log().size(), sent);
    EXPECT_EQ(panels::mainPanel(), panel.data());  // no restart
    EXPECT_FALSE(panel->isEnabled() || panel->Timer1()->isActive());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UpdateFirmwareFails,
    ::testing::Values(LineFailure{"lower_o", 1, 'o'}, LineFailure{"lower_f", 1, 'f'}, LineFailure{"E", 1, 'E'},
                      LineFailure{"zero", 1, 0}, LineFailure{"ff", 1, 0xFF}, LineFailure{"vanish_first", 0, 'O', true},
                      LineFailure{"vanish_second", 1, 'O', true}, LineFailure{"vanish_last", 3, 'O', true}),
    [](const auto& info) { return std::string(info.param.name); });

class UpdateFirmwareReopen : public UpdateFirmware, public ::testing::WithParamInterface<int> {};

// The box after its reset: back on the third attempt (2 failed opens), or never (-1).
TEST_P(UpdateFirmwareReopen, TheBoxIsAwaitedUpToThirtyFiveTimes)
{
    loadPanel();
    bus.faults(box).failedOpensAfterReset = GetParam();
    const std::size_t opensBefore = bus.openCallsOf(bus.pathOf(box));
    run(writeImage(kData1 + kData2 + kEndOfFile));
    if (GetParam() == 2) {
        EXPECT_EQ(std::ranges::count_if(services.events, [](const std::string& e) { return e.starts_with("sleep:"); }), 4)
            << "three waits for the box, one before the restart";
        EXPECT_EQ(linesOnWire(), (Requests{kData1, kData2}));
    } else {
        std::vector<std::string> events(35, "sleep:2000");
        events.push_back(kFailed);
        events.push_back("end");
        EXPECT_EQ(services.events, events);
        EXPECT_EQ(bus.openCallsOf(bus.pathOf(box)) - opensBefore, 35u);
    }
}

INSTANTIATE_TEST_SUITE_P(Attempts, UpdateFirmwareReopen, ::testing::Values(2, -1));

// 62 characters and CR LF: 64 bytes, one more than a request carries.
TEST_F(UpdateFirmware, ARefusedFileShowsWhyAndNeverTouchesTheBox)
{
    QPointer<panels::TestForm> panel = loadPanel();
    run(writeImage(":" + std::string(61, '0') + "\r\n" + kEndOfFile));

    EXPECT_TRUE(wire().empty());
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_TRUE(services.messages[0].text.contains("Nothing was sent to the USB IO."))
        << services.messages[0].text.toStdString();
    EXPECT_TRUE(panel->Timer1()->isActive());
    EXPECT_FALSE(loadedFWForm()->isVisible());
}

}  // namespace
}  // namespace iox::testing
