// The update window's UpdateFirmware against a simulated box: the end of a failed update, the
// wait for the box after its reset, a refused file. A whole update, with the progress shown
// and the restart, is firmware_info_form_test's; the order of the update's phases and lines
// is the firmware core's to check.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <chrono>

#include "firmware_core/image_file.h"
#include "tests/firmware/update_fixture.h"

namespace iox::testing {
namespace {

using firmware::loadedFWForm;

const std::string kFailed = "message:Error while trying to update firmware - Program will shut down";

class UpdateFirmware : public FirmwareTest {
protected:
    void run(QString path) { firmware::fwForm().UpdateFirmware(path); }
};

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
        events.insert(events.end(), {kFailed, "end"});
        EXPECT_EQ(services.events, events);
        EXPECT_EQ(bus.openCallsOf(bus.pathOf(box)) - opensBefore, 35u);
    }
}

INSTANTIATE_TEST_SUITE_P(Attempts, UpdateFirmwareReopen, ::testing::Values(2, -1));

// 62 characters and CR LF: 64 bytes, one more than a request carries. The window shows the
// core's refusal as it stands; which files are refused, and why, is the core's to check.
TEST_F(UpdateFirmware, ARefusedFileShowsWhyAndNeverTouchesTheBox)
{
    QPointer<panels::TestForm> panel = loadPanel();
    const QString path = writeImage(":" + std::string(61, '0') + "\r\n" + kEndOfFile);
    const std::size_t opens = bus.openCalls();
    run(path);

    EXPECT_TRUE(wire().empty() && bus.openCalls() == opens);
    const std::string refusal = firmware::readImageFile(path.toStdString()).error;
    EXPECT_NE(refusal.find("Nothing was sent to the USB IO."), std::string::npos);
    EXPECT_EQ(services.events, std::vector<std::string>{"message:" + refusal}) << "no end of the program";
    EXPECT_TRUE(panel->Timer1()->isActive() && session::sharedDevice().isConnected() && !firmware::updateRunning());
    EXPECT_FALSE(loadedFWForm()->isVisible());
}

}  // namespace
}  // namespace iox::testing
