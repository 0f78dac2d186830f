// The firmware information window: what it shows, which chosen paths start an update,
// what closing it does to the main panel, and the whole update started from its button.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

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
                         ::testing::Values(Level{-1, "Firmware: A0", false}, Level{0, "Firmware: A0", false},
                                           Level{2, "Firmware: A0", false},
                                           Level{3, "Firmware: B7", true}, Level{9, "Firmware: B7", true},
                                           Level{200, "Firmware: B7", true}));

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

// During the update a second update and closing either window do nothing; the restart's
// share is fw_form_test's.
TEST_F(FirmwareInfo, UpdateFromTheButtonRunsToTheRestartUndisturbed)
{
    QPointer<panels::TestForm> panel = loadPanel();
    QPointer<FirmwareInfoForm> form = open(panel);
    const QString image = writeImage(kData1 + kData2 + kEndOfFile);
    // The operator picks the file in the browse window.
    services.onModal = [&](QDialog& dialog) {
        auto& browse = static_cast<BrowseForm&>(dialog);
        browse.setFolderPath(QFileInfo(image).path());
        browse.Text2()->setText(QStringLiteral("USB_IO_Firmware_A1.hex"));
        browse.Command1()->click();
    };
    QString fileLabel;
    bool busy = false, tried = false, unchanged = false;
    services.onProcessEvents = [&] {
        if (tried || bus.box(box).bootloaderLines().empty())
            return;
        tried = true;
        busy = services.busyCursor;
        fileLabel = firmware::loadedFWForm()->Label7()->text();
        form->Command1()->click();
        form->close();
        firmware::loadedFWForm()->close();
        firmware::loadedFWForm()->UpdateFirmware(session::FirmwareFilePath());
        unchanged = form->isVisible() && firmware::loadedFWForm()->isVisible() && !panel->isEnabled();
    };
    form->Command1()->click();

    EXPECT_TRUE(tried && unchanged);
    EXPECT_EQ(std::ranges::count(services.events, "modal:BrowseForm"), 1);
    // One reopen, one restart: no second update.
    EXPECT_EQ(std::ranges::count_if(services.events, [](const std::string& e) { return e.starts_with("sleep:"); }), 2);
    EXPECT_EQ(QFileInfo(session::FirmwareFilePath()).canonicalFilePath(), QFileInfo(image).canonicalFilePath());
    EXPECT_EQ(fileLabel, "Update Firmware: " + session::FirmwareFilePath());
    EXPECT_TRUE(busy);
    EXPECT_EQ(services.events.back(), "idle");
    EXPECT_EQ(firmwareInfoForm(), nullptr) << "the restart closes this window";
}

}  // namespace
}  // namespace iox::testing
