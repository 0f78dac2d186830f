// The update window's UpdateFirmware against a simulated box: the requests on the wire and
// their order, the progress shown, the end of a failed update, the restart.

#include <gtest/gtest.h>

#include <QPointer>
#include <QTimer>

#include <map>

#include "tests/firmware/update_fixture.h"

namespace iox::testing {
namespace {

using firmware::loadedFWForm;

const QString kFailed = QStringLiteral("Error while trying to update firmware - Program will shut down");

class UpdateFirmware : public FirmwareTest {
protected:
    void run(QString path) { firmware::fwForm().UpdateFirmware(path); }
};

TEST_F(UpdateFirmware, MarksResetsSendsTheCutLinesAndRestartsTheMainPanel)
{
    QPointer<panels::TestForm> before = loadPanel();
    const HidHandle appHandle = session::sharedDevice().GetUSBDeviceHandle();
    bool stoppedAtReset = false;
    bus.faults(box).mangle = [&](Report& answer) {
        if (answer[1] == cmd::ResetCpu)
            stoppedAtReset = !before->isEnabled() && !before->Timer1()->isActive();
    };
    run(writeImage(kData1 + kData2 + kEndOfFile));

    // The text after the last cut (the end-of-file record here) is not sent; then the restart.
    EXPECT_EQ(wire(), (Requests{"Flag", "ResetCPU", kData1, kData2, "SN", "A-out", "B-out", "RelayByte 0",
                                "SetByte A 0", "SetByte B 0", "Model", "SN", "Firmware", "Firmware"}));
    EXPECT_EQ(bus.log()[1].handle, appHandle);
    EXPECT_NE(bus.log()[2].handle, appHandle);  // the lines go on the handle opened after the reset
    EXPECT_TRUE(stoppedAtReset);

    EXPECT_EQ(services.events,
              (std::vector<std::string>{"sleep:2000",
                                        "message:The New Firmware was succesfully updated\r\nThe Program will ReStart",
                                        "sleep:2000"}));

    panels::TestForm* after = panels::mainPanel();
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after, before.data());
    EXPECT_TRUE(before->isHidden());
    EXPECT_TRUE(after->isVisible() && after->isEnabled());
    EXPECT_EQ(loadedFWForm(), nullptr);
    EXPECT_EQ(bus.openHandles(), 1u);  // the update's own handle was closed
}

// The bar after each answer shows the cut's share of the text, the whole track at the end.
TEST_F(UpdateFirmware, BeepsBeforeASentEndOfFileRecordStopsAtFAndShowsEachCutsShare)
{
    loadPanel();
    std::vector<int> beepsAtLine;
    bus.box(box).setLineAnswer([&](const std::string& line, std::size_t) -> std::uint8_t {
        beepsAtLine.push_back(services.beeps);
        return line.find(":00000001FF") != std::string::npos ? 'F' : 'O';
    });
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

    EXPECT_EQ(linesOnWire(), (Requests{kData1, kEndOfFile}));
    EXPECT_EQ(beepsAtLine, (std::vector<int>{0, 1}));
    // Cuts at 46 and 59 of 119 characters on a track of 409 pixels.
    EXPECT_EQ(shownAfter[1], std::pair(QString("39%"), 158));
    EXPECT_EQ(shownAfter[2], std::pair(QString("50%"), 203));
    EXPECT_TRUE(fullBar);
    EXPECT_EQ(services.ends, 0);
}

class UpdateFirmwareBadStatus : public UpdateFirmware, public ::testing::WithParamInterface<std::uint8_t> {};

TEST_P(UpdateFirmwareBadStatus, ShowsTheErrorEndsTheProgramAndSendsNothingMore)
{
    QPointer<panels::TestForm> panel = loadPanel();
    bus.box(box).setLineAnswer([status = GetParam()](const std::string&, std::size_t index) -> std::uint8_t {
        return index == 1 ? status : 'O';
    });
    run(writeImage(kData1 + kData2 + kData1 + kEndOfFile));

    EXPECT_EQ(linesOnWire(), (Requests{kData1, kData2}));
    EXPECT_EQ(services.events, (std::vector<std::string>{"sleep:2000", "message:" + kFailed.toStdString(), "end"}));
    EXPECT_EQ(panels::mainPanel(), panel.data());  // no restart
    EXPECT_FALSE(panel->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Statuses, UpdateFirmwareBadStatus, ::testing::Values('o', 'f', 'E', 0, 0xFF));

class UpdateFirmwareReopen : public UpdateFirmware, public ::testing::WithParamInterface<int> {};

// The box after its reset: back on the third attempt (2 failed opens), or never (-1).
TEST_P(UpdateFirmwareReopen, TheBoxIsAwaitedUpToThirtyFiveTimes)
{
    loadPanel();
    bus.faults(box).failedOpensAfterReset = GetParam();
    const std::size_t opensBefore = bus.openCallsOf(bus.pathOf(box));
    run(writeImage(kData1 + kData2 + kEndOfFile));
    if (GetParam() == 2) {
        EXPECT_EQ(services.sleeps.size(), 4u) << "three waits for the box, one before the restart";
        EXPECT_EQ(linesOnWire(), (Requests{kData1, kData2}));
    } else {
        std::vector<std::string> events(35, "sleep:2000");
        events.push_back("message:" + kFailed.toStdString());
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
