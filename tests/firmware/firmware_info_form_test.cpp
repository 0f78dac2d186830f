// The firmware information window: what it shows, which chosen paths start an update, what
// closing it does to the main panel, the whole update from its button; the update window's end
// of a failed update, wait for the box after its reset, refused file (the order of the update's
// phases and lines is the firmware core's to check). What the operator sees of every window:
// each text fits its control in the fonts asked for, the firmware windows keep the system
// colours, and the main panel's firmware check runs on activations from this program only.

#include <QApplication>
#include <QFileInfo>
#include <QStyleOptionButton>

#include <chrono>
#include <map>

#include "firmware_core/image_file.h"
#include "panels/io4.h"
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
    EXPECT_EQ(fileLabel, "Update Firmware: " + session::FirmwareFilePath());
    panels::TestForm* after = panels::mainPanel();
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after, panel.data());
    EXPECT_TRUE(panel->isHidden() && after->isVisible() && after->isEnabled());
    EXPECT_FALSE(firmware::loadedFWForm() || firmwareInfoForm()) << "the restart closes both windows";
    EXPECT_EQ(bus.openHandles(), 1u);  // the update's own handle was closed
}

const std::string kFailed = "message:Error while trying to update firmware - Program will shut down";

using UpdateFirmware = FirmwareTest;
void run(QString path) { firmware::fwForm().UpdateFirmware(path); }

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

    EXPECT_EQ(wire(true).size(), failure.atLine + 1);
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
        EXPECT_EQ(wire(true), (Requests{kData1, kData2}));
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
    EXPECT_EQ(services.events, std::vector<std::string>{"message:" + refusal}) << "no end of the program";
    EXPECT_TRUE(panel->Timer1()->isActive() && session::sharedDevice().isConnected() && !firmware::updateRunning());
    EXPECT_FALSE(firmware::loadedFWForm()->isVisible());
}

// "window/text: needs N, has M" for every text wider (or, wrapped, taller) than its room.
std::vector<std::string> misfits(const QWidget& window)
{
    std::vector<std::string> out;
    const auto check = [&](const QWidget* w, const QString& text, int needed, int room) {
        if (!text.isEmpty() && needed > room)
            out.push_back(window.objectName().toStdString() + "/" + text.toStdString() + ": needs " +
                          std::to_string(needed) + ", has " + std::to_string(room) + " (" +
                          QFontInfo(w->font()).family().toStdString() + ")");
    };
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        const QFontMetrics fm(w->font());
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
            if (label->wordWrap())
                check(w, label->text(), fm.boundingRect(room, Qt::TextWordWrap, label->text()).height(), room.height());
            else
                check(w, label->text(), fm.horizontalAdvance(label->text()), room.width());
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const bool radio = qobject_cast<const QRadioButton*>(w) != nullptr;
            const QRect room = button->style()->subElementRect(
                radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents, &option, button);
            check(w, button->text(), fm.horizontalAdvance(button->text()), room.width());
        } else if (const auto* frame = dynamic_cast<const panels::Frame*>(w)) {
            check(w, frame->caption(), QFontMetrics(panels::frameCaptionFont()).horizontalAdvance(frame->caption()) + 10,
                  frame->width());
        }
    }
    return out;
}

using WindowLook = FirmwareTest;

// The firmware windows keep the system colour for their tracks, text boxes and lists.
TEST_F(WindowLook, EveryTextOfEveryWindowFitsItsControlAndTheFirmwareWindowsKeepTheSystemColour)
{
    panels::TestForm* panel = loadPanel();
    panels::IO4 compact;
    QString sn;
    panels::ListForm list(sn);
    firmware::FirmwareInfoForm info(*panel);
    firmware::FWForm update;
    firmware::BrowseForm browse;
    for (const QWidget* window : std::initializer_list<const QWidget*>{panel, &compact, &list, &info, &update, &browse})
        EXPECT_EQ(misfits(*window), std::vector<std::string>{}) << window->objectName().toStdString();

    const QColor system = ui::systemWindowColour();
    ASSERT_NE(system, ui::kWindowColour);
    EXPECT_EQ(ui::backgroundOf(*update.Label3()), system);
    EXPECT_EQ(ui::backgroundOf(*browse.Label4()), system);
    for (const QWidget* box : std::initializer_list<const QWidget*>{browse.Text1(), browse.Text2(), browse.Dir1(), browse.File1()})
        EXPECT_EQ(box->palette().color(QPalette::Base), system) << box->metaObject()->className();
    EXPECT_EQ(ui::backgroundOf(update), ui::kWindowColour);
    EXPECT_EQ(ui::backgroundOf(browse), ui::kWindowColour);
}

TEST_F(WindowLook, FirmwareCheckRunsWhenTheFocusComesBackFromThisProgramOnly)
{
    panels::TestForm* panel = loadPanel();
    panel->Timer1()->stop();
    QApplication::setActiveWindow(panel);
    bus.clearLog();
    QApplication::setActiveWindow(nullptr);  // another program takes the focus
    QApplication::setActiveWindow(panel);
    EXPECT_EQ(requests(), Requests{});

    panel->Label11_Click();  // the firmware information window opens, asks, and closes
    QApplication::setActiveWindow(firmware::firmwareInfoForm());
    firmware::firmwareInfoForm()->Command2()->click();
    bus.clearLog();
    QApplication::setActiveWindow(panel);
    EXPECT_EQ(requests(), Requests{"Firmware"});
}

}  // namespace
}  // namespace iox::testing
