// The firmware information window: what it shows, which chosen paths start an update,
// what closing it does to the main panel, and the whole update started from its button.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <map>

#include "firmware/browse_form.h"
#include "tests/firmware/update_fixture.h"

namespace iox::testing {
namespace {

using firmware::BrowseForm;
using firmware::FirmwareInfoForm;
using firmware::firmwareInfoForm;

using FirmwareInfo = FirmwareTest;

// The main panel's "(fw)" label opens the window.
FirmwareInfoForm* open(panels::TestForm* panel)
{
    panel->Label11_Click();
    return firmwareInfoForm();
}

struct Level {
    int level;  // -1: no box, the connection fails
    const char* firmware;
    bool updateOffered;
};
void PrintTo(const Level& l, std::ostream* os) { *os << "level " << int(l.level); }

class FirmwareInfoLevel : public FirmwareInfo, public ::testing::WithParamInterface<Level> {};

// Closing it by Exit enables the main panel again; by the close box, below.
TEST_P(FirmwareInfoLevel, ShowsTheBoxAndItsRevisionAndOffersTheUpdateFromLevelThree)
{
    const bool connected = GetParam().level >= 0;
    panels::TestForm* panel = connected ? loadPanel(GetParam().level) : panels::loadMainPanel();
    QPointer<FirmwareInfoForm> form = open(panel);
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(panel->isEnabled());
    EXPECT_EQ(form->windowTitle(), "Firmware - Info.");
    EXPECT_EQ(form->Label7(2)->text(), connected ? "Model: IOX-MODEL-C" : "Model: ");
    EXPECT_EQ(form->Label7(3)->text(), connected ? "S/N: 10001" : "S/N: ");
    EXPECT_EQ(form->Label7(1)->text(), GetParam().firmware);
    EXPECT_EQ(form->Label7(4)->text(), "A1");
    EXPECT_EQ(form->Command1()->isEnabled(), GetParam().updateOffered);
    EXPECT_EQ(requests(), connected ? Requests{"Firmware"} : Requests{});
    form->Command2()->click();
    EXPECT_TRUE(panel->isEnabled());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form || firmwareInfoForm());
}

INSTANTIATE_TEST_SUITE_P(Levels, FirmwareInfoLevel,
                         ::testing::Values(Level{-1, "Firmware: A0", false}, Level{2, "Firmware: A0", false},
                                           Level{3, "Firmware: B7", true}));

// Which names the update takes is the core's to check; here, that a refused one goes no further.
TEST_F(FirmwareInfo, BrowserOpensInTheFirmwareFolderAndAPathNotNamingAnImageGoesNoFurther)
{
    panels::TestForm* panel = loadPanel();
    QPointer<FirmwareInfoForm> form = open(panel);
    const QString expected = QCoreApplication::applicationDirPath() + QStringLiteral("/Firmware");
    QString current;
    services.onModal = [&](QDialog& dialog) {
        current = QDir::currentPath();
        session::FirmwareFilePath() = "/home/op/MyUSB_IO_Firmware_A1.hex";
        dialog.accept();
    };
    form->Command1()->click();
    form->Command1()->click();  // the folder exists now: the same
    EXPECT_EQ(std::ranges::count(services.events, "modal:BrowseForm"), 2);
    EXPECT_EQ(QDir(current).canonicalPath(), QDir(expected).canonicalPath());
    ASSERT_EQ(services.messages.size(), 2u);
    EXPECT_EQ(services.messages[0].text, "Ilegal Firmware file");
    EXPECT_EQ(firmware::loadedFWForm(), nullptr);
    EXPECT_TRUE(form->isVisible());
    form->close();  // by its close box
    EXPECT_TRUE(panel->isEnabled());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form || firmwareInfoForm());
}

// The whole update from the button: the operator picks the file, the main panel is stopped
// at the reset, the bar after each answer shows the cut's share of the text and the whole
// track at the end; meanwhile a second update and closing either window do nothing. The
// end-of-file record's 'F' ends the lines; then the main panel starts again and this window
// closes.
TEST_F(FirmwareInfo, UpdateFromTheButtonShowsEachAnswerUndisturbedAndRestartsThePanel)
{
    QPointer<panels::TestForm> panel = loadPanel();
    QPointer<FirmwareInfoForm> form = open(panel);
    const QString image = writeImage(kData1 + kEndOfFile + ";after the end\r\n" + kData2);
    bus.clearLog();
    services.onModal = [&](QDialog& dialog) {
        auto& browse = static_cast<BrowseForm&>(dialog);
        browse.setFolderPath(QFileInfo(image).path());
        browse.Text2()->setText(QStringLiteral("USB_IO_Firmware_A1.hex"));
        browse.Command1()->click();
    };
    bool stoppedAtReset = false, unchanged = false, fullBar = false;
    bus.faults(box).mangle = [&](Report& answer) {
        if (answer[1] == cmd::ResetCpu)
            stoppedAtReset = !panel->isEnabled() && !panel->Timer1()->isActive();
    };
    std::map<std::size_t, std::pair<QString, int>> shownAfter;  // lines answered -> Label4, Label6 width
    QString fileLabel;
    services.onProcessEvents = [&] {
        auto* update = firmware::loadedFWForm();
        if (!update || !update->isVisible())
            return;
        const std::size_t answered = bus.box(box).bootloaderLines().size();
        shownAfter[answered] = {update->Label4()->text(), update->Label6()->width()};
        if (answered != 1 || !fileLabel.isEmpty())
            return;
        fileLabel = update->Label7()->text();
        form->Command1()->click();
        form->close();
        update->close();
        update->UpdateFirmware(session::FirmwareFilePath());
        unchanged = form->isVisible() && update->isVisible() && !panel->isEnabled();
    };
    services.onMessage = [&](const QString&) {  // the success message
        fullBar = firmware::loadedFWForm()->Label6()->geometry() == firmware::loadedFWForm()->Label3()->geometry();
    };
    form->Command1()->click();

    Requests expected{"Flag", "ResetCPU", kData1, kEndOfFile, "SN"};
    expected.insert(expected.end(), kLoadRequests.begin(), kLoadRequests.end());
    expected.insert(expected.end(), {"Firmware", "Firmware"});
    EXPECT_EQ(wire(), expected);
    EXPECT_TRUE(stoppedAtReset && unchanged && fullBar);
    // Cuts at 46 and 59 of 119 characters on a track of 409 pixels.
    EXPECT_EQ(shownAfter[1], std::pair(QString("39%"), 158));
    EXPECT_EQ(shownAfter[2], std::pair(QString("50%"), 203));
    EXPECT_EQ(services.events, (std::vector<std::string>{"modal:BrowseForm", "busy", "sleep:2000", "beep",
                                                         "message:The New Firmware was succesfully updated\r\n"
                                                         "The Program will ReStart",
                                                         "sleep:2000", "idle"}))
        << "one browse, one wait for the box, one before the restart: no second update";
    EXPECT_EQ(QFileInfo(session::FirmwareFilePath()).canonicalFilePath(), QFileInfo(image).canonicalFilePath());
    EXPECT_EQ(fileLabel, "Update Firmware: " + session::FirmwareFilePath());
    panels::TestForm* after = panels::mainPanel();
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after, panel.data());
    EXPECT_TRUE(panel->isHidden() && after->isVisible() && after->isEnabled());
    EXPECT_FALSE(firmware::loadedFWForm() || firmwareInfoForm()) << "the restart closes both windows";
    EXPECT_EQ(bus.openHandles(), 1u);  // the update's own handle was closed
}

}  // namespace
}  // namespace iox::testing
