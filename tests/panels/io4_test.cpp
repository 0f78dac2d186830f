// The compact panel IO4: the start-up's hand-over to it, its load, switches, poll,
// serial output, design state and closing.

#include <algorithm>

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QRadioButton>
#include <QTimer>

#include <optional>

#include "panel_fixture.h"
#include "panels/io4.h"
#include "panels/list_form.h"
#include "panels/main_panel.h"
#include "panels/panel_parts.h"
#include "panels/test_form.h"

namespace iox::testing {
namespace {

using panels::IO4;
using panels::TestForm;
using sim::LogEntry;

const char kTitle[] = "Kestrow   USB To I/O  Controller -   (Ver A3)";
const Requests kLoad = {"A-out", "B-out", "RelayByte 0", "SetByte A 0", "SetByte B 0", "Model", "SN"};

QStringList itemsOf(const QComboBox* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

// Counts the Show events a window receives.
class ShowCounter : public QObject {
public:
    int shows = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

// What the hand-over had done when IO4's load first let events run (its Connect).
struct AtIO4Load {
    bool seen = false;
    QString sn;
    QString title;
    bool io4Visible = true;
    bool sharedConnected = true;
};

class CompactPanel : public PanelTest {
protected:
    // Starts the application with the boxes added so far; IO4 must take over.
    IO4* start()
    {
        services.onProcessEvents = [this] {
            if (TestForm* main = panels::mainPanel(); main && !testForm) {
                testForm = main;
                main->installEventFilter(&testFormShows);
            }
            IO4* panel = panels::compactPanel();
            if (panel && !atLoad.seen) {
                atLoad.seen = true;
                atLoad.sn = panel->SN_Selected;
                atLoad.title = panel->windowTitle();
                atLoad.io4Visible = panel->isVisible();
                atLoad.sharedConnected = app::sharedDevice().isConnected();
            }
        };
        EXPECT_EQ(panels::loadMainPanel(), nullptr);
        services.onProcessEvents = nullptr;
        io4 = panels::compactPanel();
        if (io4)
            own = io4->device().GetUSBDeviceHandle();
        return io4;
    }
    void startWithOneBox()
    {
        box = addBox("IOX-MODEL-B", "30001");
        ASSERT_NE(start(), nullptr);
        bus.clearLog();
    }
    void send() { io4->Frame6()->Command1()->click(); }

    std::size_t box = 0;
    IO4* io4 = nullptr;
    HidHandle own = 0;
    QPointer<TestForm> testForm;
    ShowCounter testFormShows;
    AtIO4Load atLoad;
};

// ---- the hand-over ---------------------------------------------------------------------------

TEST_F(CompactPanel, TheStartUpHandsTheBoxOverToIO4AndClosesTheMainPanelUnseen)
{
    box = addBox("IOX-MODEL-B", "30001");
    ASSERT_NE(start(), nullptr);

    // By the time IO4's load connected, the shared object was closed and IO4 had its
    // serial number and title, and was not yet shown.
    ASSERT_TRUE(atLoad.seen);
    EXPECT_EQ(atLoad.sn, "30001");
    EXPECT_EQ(atLoad.title, kTitle);
    EXPECT_FALSE(atLoad.io4Visible);
    EXPECT_FALSE(atLoad.sharedConnected);

    // The shared object: the start-up's idle state, model name and serial number, then
    // nothing more; IO4's object: its own load, on the box.
    HidHandle shared = 0;
    std::size_t lastShared = 0, firstOwn = bus.log().size();
    for (std::size_t i = 0; i < bus.log().size(); ++i) {
        const LogEntry& entry = bus.log()[i];
        if (entry.handle != own && describe(entry.report) == "A-out")
            shared = entry.handle;
        if (entry.handle == own && firstOwn == bus.log().size())
            firstOwn = i;
    }
    for (std::size_t i = 0; i < bus.log().size(); ++i)
        if (bus.log()[i].handle == shared)
            lastShared = i;
    ASSERT_NE(shared, 0);
    EXPECT_EQ(requestsOn(shared), kLoad);
    EXPECT_EQ(requestsOn(own), kLoad);
    EXPECT_LT(lastShared, firstOwn);
    EXPECT_EQ(boxOf(own), box);
    EXPECT_EQ(bus.openHandles(), 1u);

    // IO4 is shown and runs; TestForm was closed without ever showing or ending the program.
    EXPECT_TRUE(io4->isVisible());
    EXPECT_EQ(io4->windowTitle(), kTitle);
    EXPECT_TRUE(io4->Timer1()->isActive());
    EXPECT_EQ(io4->Timer1()->interval(), 1);
    ASSERT_TRUE(testForm);
    EXPECT_TRUE(testForm->isUnloaded());
    EXPECT_FALSE(testForm->Timer1()->isActive());
    EXPECT_EQ(testFormShows.shows, 0);
    EXPECT_EQ(panels::mainPanel(), nullptr);
    EXPECT_TRUE(io4->device().isConnected());
    EXPECT_EQ(services.quits, 0);
    EXPECT_TRUE(services.messages.empty());

    EXPECT_EQ(io4->Label6()->text(), "IOX-MODEL-B");
    EXPECT_EQ(io4->Label8()->text(), "30001");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(itemsOf(io4->Combo1(i)), QStringList({"B0", "B1", "B2", "B3"})) << i;
    EXPECT_EQ(io4->Combo1(0)->currentText(), "B0");
    EXPECT_EQ(io4->Combo1(1)->currentText(), "B1");
    EXPECT_EQ(io4->Combo1(2)->currentText(), "B2");
}

TEST_F(CompactPanel, IO4ConnectsToTheBoxChosenInTheSelectionWindowNotTheFirst)
{
    addBox("IOX-MODEL-B", "30001");
    box = addBox("IOX-MODEL-B", "30002");
    services.onModal = [](QDialog& dialog) {
        auto& list = dynamic_cast<panels::ListForm&>(dialog);
        list.List1()->setCurrentRow(1);
        list.Command1()->click();
    };
    ASSERT_NE(start(), nullptr);
    EXPECT_EQ(io4->SN_Selected, "30002");
    EXPECT_EQ(boxOf(own), box);
    EXPECT_EQ(io4->Label8()->text(), "30002");
    bus.clearLog();
    io4->Check1(0)->click();
    EXPECT_EQ(bus.requestsTo(0).size(), 0u);
    EXPECT_EQ(bus.box(box).relays(), 0x01);
}

TEST_F(CompactPanel, OnlyTheCompactModelFillsTheSerialLines)
{
    // IO4 fills its lists only for the compact model, whatever box it reaches.
    struct Case {
        const char* model;
        int items;
    };
    for (const Case c : {Case{"IOX-MODEL-B", 4}, Case{"IOX-MODEL-C", 0}, Case{"iox-model-b", 0}}) {
        SCOPED_TRACE(c.model);
        const std::size_t b = addBox(c.model, "40001");
        IO4* panel = panels::openCompactPanel("40001", kTitle);
        EXPECT_EQ(panel->Label6()->text(), c.model);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(panel->Combo1(i)->count(), c.items);
            EXPECT_EQ(panel->Combo1(i)->currentIndex(), c.items ? i : -1);
        }
        panel->unload();
        bus.vanish(b);
    }
}

TEST_F(CompactPanel, TicksDuringTheLoadReachNoBoxBeforeTheConnection)
{
    box = addBox("IOX-MODEL-B", "30001");
    int ticks = 0;
    services.onProcessEvents = [&] {
        if (IO4* panel = panels::compactPanel()) {
            ++ticks;
            panel->Timer1_Timer();
        }
    };
    io4 = panels::openCompactPanel("30001", kTitle);
    services.onProcessEvents = nullptr;
    own = io4->device().GetUSBDeviceHandle();
    EXPECT_GT(ticks, 0);
    // Before the connection only the discovery's serial-number reads reached the box.
    for (const LogEntry& entry : bus.log())
        if (entry.handle != own)
            EXPECT_EQ(describe(entry.report), "SN");
    // Ticks once the connection exists poll the box ahead of the idle state.
    Requests sent = requestsOn(own);
    const Requests poll = {"ReadA", "ReadB", "ReadRelays"};
    while (sent.size() >= 3 && Requests(sent.begin(), sent.begin() + 3) == poll)
        sent.erase(sent.begin(), sent.begin() + 3);
    EXPECT_EQ(Requests(sent.begin(), sent.begin() + std::min(sent.size(), kLoad.size())), kLoad);
}

TEST_F(CompactPanel, TheLoadPlacesTheWindowAtHalfTheWidthAndAThirdOfTheHeight)
{
    box = addBox("IOX-MODEL-B", "30001");
    io4 = panels::openCompactPanel("30001", kTitle);
    // The load places the window before its first show, when its size is the client size.
    const QRect screen = io4->screen()->geometry();
    const QSize size = io4->size();
    EXPECT_EQ(io4->pos(), QPoint(screen.left() + (screen.width() - size.width()) / 2,
                                 screen.top() + (screen.height() - size.height()) / 3));
}

// ---- a failed connection ---------------------------------------------------------------------

TEST_F(CompactPanel, NoBoxForTheSerialNumberShowsOneMessageAndAnEmptyPanel)
{
    box = addBox("IOX-MODEL-B", "30001");
    io4 = panels::openCompactPanel("99999", kTitle);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].text, "Connection to USB IO failed");
    EXPECT_EQ(services.messages[0].buttons, ui::Buttons::Ok);
    EXPECT_FALSE(io4->device().isConnected());
    EXPECT_TRUE(io4->isVisible());
    EXPECT_EQ(io4->Label6()->text(), "");
    EXPECT_EQ(io4->Label8()->text(), "");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(io4->Combo1(i)->count(), 0);
        EXPECT_EQ(io4->Combo1(i)->currentText(), "");
    }
    // The box received nothing but the discovery's serial-number read.
    for (const std::string& r : requests())
        EXPECT_EQ(r, "SN");

    for (int i = 0; i < 4; ++i)
        ui::setBackground(*io4->Label3(i), ui::kHigh);
    for (int i = 0; i < 2; ++i)
        ui::setBackground(*io4->Label4(i), ui::kHigh);
    io4->Timer1_Timer();
    for (const std::string& r : requests())
        EXPECT_EQ(r, "SN");  // the poll reached no box either
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(colourOf(io4->Label3(i)), ui::kLow) << i;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(colourOf(io4->Label4(i)), ui::kLow) << i;
    EXPECT_EQ(services.messages.size(), 1u);  // nothing retries
}

TEST_F(CompactPanel, SendAfterAFailedConnectionClearsLineBZeroAndShowsRed)
{
    io4 = panels::openCompactPanel("99999", kTitle);
    io4->Check3(0)->click();
    io4->Check3(1)->click();
    bus.clearLog();
    send();
    // The three empty texts each count as line 0 of port B; SPI_OUT gets empty names.
    EXPECT_FALSE(io4->Check3(0)->isChecked());
    EXPECT_EQ(colourOf(io4->Check3(0)), ui::kLow);
    EXPECT_TRUE(io4->Check3(1)->isChecked());
    EXPECT_EQ(colourOf(io4->Check3(1)), ui::kHigh);
    EXPECT_TRUE(requests().empty());
    EXPECT_EQ(io4->Shape2()->fillColour(), panels::kIndicatorFailed);
}

// ---- switches, send, poll --------------------------------------------------------------------

TEST_F(CompactPanel, OutTwoOnSwitchesRelayOneAndItsStatusFollowsOnTheTick)
{
    startWithOneBox();
    io4->Check1(1)->click();
    EXPECT_EQ(requestsOn(own), Requests({"Relay 1 1"}));
    EXPECT_EQ(colourOf(io4->Check1(1)), ui::kHigh);
    EXPECT_EQ(colourOf(io4->Check1(0)), ui::kLow);
    EXPECT_EQ(colourOf(io4->Label4(1)), ui::kLow);
    io4->Timer1_Timer();
    EXPECT_EQ(colourOf(io4->Label4(1)), ui::kHigh);
    EXPECT_EQ(colourOf(io4->Label4(0)), ui::kLow);
}

TEST_F(CompactPanel, PortBLinesSwitchByTheirNames)
{
    startWithOneBox();
    io4->Check3(2)->click();
    EXPECT_EQ(colourOf(io4->Check3(2)), ui::kHigh);
    io4->Check3(2)->click();
    io4->Check3(3)->click();
    io4->Check1(0)->click();
    EXPECT_EQ(requestsOn(own), Requests({"TTL B2 1", "TTL B2 0", "TTL B3 1", "Relay 0 1"}));
    EXPECT_EQ(colourOf(io4->Check3(2)), ui::kLow);
    EXPECT_EQ(bus.box(box).drivenB(), 0x08);
}

TEST_F(CompactPanel, SendWithOnlyBOneSetClearsItThenSendsTheWord)
{
    startWithOneBox();
    io4->Check3(1)->click();
    io4->Check3(3)->click();  // not a chosen line
    io4->Check1(0)->click();  // a 24 V output, never touched by "Send"
    bus.clearLog();
    std::optional<QColor> duringTransfer;
    bus.faults(box).mangle = [&](Report& r) {
        if (r[1] == cmd::SpiOut)
            duringTransfer = io4->Shape2()->fillColour();
    };
    EXPECT_EQ(io4->Shape2()->fillColour(), panels::kIndicatorDesign);
    send();
    EXPECT_EQ(requestsOn(own), Requests({"TTL B1 0", "SPI B0 B1 B2 101011"}));
    EXPECT_FALSE(io4->Check3(1)->isChecked());
    EXPECT_EQ(colourOf(io4->Check3(1)), ui::kLow);
    EXPECT_TRUE(io4->Check3(3)->isChecked());
    EXPECT_TRUE(io4->Check1(0)->isChecked());
    ASSERT_TRUE(duringTransfer);
    EXPECT_EQ(*duringTransfer, panels::kIndicatorBusy);
    EXPECT_EQ(io4->Shape2()->fillColour(), ui::kHigh);

    bus.vanish(box);
    send();
    EXPECT_EQ(io4->Shape2()->fillColour(), panels::kIndicatorFailed);
}

TEST_F(CompactPanel, ATickBetweenTheClearingAndTheTransferPollsIO4sOwnBox)
{
    startWithOneBox();
    io4->Check3(0)->click();
    bus.clearLog();
    bool ticked = false;
    services.onProcessEvents = [&] {
        if (!ticked) {
            ticked = true;
            io4->Timer1_Timer();
        }
    };
    send();
    EXPECT_EQ(requestsOn(own), Requests({"TTL B0 0", "ReadA", "ReadB", "ReadRelays", "SPI B0 B1 B2 101011"}));
    EXPECT_EQ(requests(), requestsOn(own));  // nothing went to the shared object
}

TEST_F(CompactPanel, ATickShowsBitsZeroToThreeOfPortBAndZeroToOneOfTheRelays)
{
    startWithOneBox();
    answerWith(box, cmd::ReadByteB, 0xF5);
    answerWith(box, cmd::ReadRelaysByte, 0x02);
    answerWith(box, cmd::ReadByteA, 0xFF);
    io4->Timer1_Timer();
    EXPECT_EQ(requestsOn(own), Requests({"ReadA", "ReadB", "ReadRelays"}));
    const QColor portB[] = {ui::kHigh, ui::kLow, ui::kHigh, ui::kLow};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(colourOf(io4->Label3(i)), portB[i]) << i;
    EXPECT_EQ(colourOf(io4->Label4(0)), ui::kLow);
    EXPECT_EQ(colourOf(io4->Label4(1)), ui::kHigh);
    // The switches are not touched by the poll.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(colourOf(io4->Check3(i)), ui::kLow) << i;
}

TEST_F(CompactPanel, SetReadsThePulseWidthAsTheMainPanelDoes)
{
    startWithOneBox();
    struct Case {
        const char* text;
        Requests sent;
        int beeps;
    };
    const Case cases[] = {{"abc", {"PulseWidth 0"}, 0}, {"9e9", {}, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        bus.clearLog();
        const int before = services.beeps;
        io4->Text2()->setText(c.text);
        io4->Frame6()->Command2()->click();
        EXPECT_EQ(requestsOn(own), c.sent);
        EXPECT_EQ(services.beeps - before, c.beeps);
    }
}

// ---- closing ---------------------------------------------------------------------------------

TEST_F(CompactPanel, ClosingIO4DisconnectsItAndEndsTheApplication)
{
    startWithOneBox();
    io4->close();
    EXPECT_TRUE(io4->isUnloaded());
    EXPECT_FALSE(io4->device().isConnected());
    EXPECT_FALSE(io4->Timer1()->isActive());
    EXPECT_EQ(bus.openHandles(), 0u);
    EXPECT_EQ(services.quits, 1);
    EXPECT_EQ(services.ends, 0);
}

// ---- design state ----------------------------------------------------------------------------

TEST(CompactPanelDesign, LayoutCaptionsAndColoursMatchTheDesign)
{
    IO4 panel;  // not loaded: no device is touched
    EXPECT_EQ(panel.size(), QSize(ui::twips(9750), ui::twips(6270)));
    EXPECT_EQ(ui::backgroundOf(panel), ui::kWindowColour);
    EXPECT_FALSE(panel.Timer1()->isActive());

    struct FrameCase {
        panels::Frame* frame;
        const char* caption;
        QRect geometry;
    };
    const FrameCase frames[] = {
        {panel.Frame1(), "Set Output - 24V:", ui::twipsRect(120, 240, 2895, 1335)},
        {panel.Frame5(), "Set 4 Digital Output - Byte B:", ui::twipsRect(120, 1800, 2895, 1335)},
        {panel.Frame3(2), "24V Status:", ui::twipsRect(3360, 480, 2295, 1095)},
        {panel.Frame3(1), "Byte B Status:", ui::twipsRect(3240, 2040, 2295, 975)},
        {panel.Frame6(), "Digital SPI Out ", ui::twipsRect(120, 3360, 5415, 2655)},
    };
    for (const FrameCase& f : frames) {
        SCOPED_TRACE(f.caption);
        ASSERT_NE(f.frame, nullptr);
        EXPECT_EQ(f.frame->caption(), f.caption);
        EXPECT_EQ(f.frame->geometry(), f.geometry);
    }

    // The 24 V switches: no caption, push-button squares, light red; their labels.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(panel.Check1(i)->text(), "");
        EXPECT_TRUE(panel.Check1(i)->isCheckable());
        EXPECT_EQ(panel.Check1(i)->size(), ui::twipsRect(0, 0, 495, 495).size());
        EXPECT_EQ(ui::backgroundOf(*panel.Check1(i)), ui::kLow);
    }
    EXPECT_LT(panel.Check1(0)->x(), panel.Check1(1)->x());
    const char* const outLabels[] = {"Out-1", "Out-2", "Out-1", "Out-2"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(panel.Label2(i)->text(), outLabels[i]) << i;

    // Port-B switches and status squares, "0" to "3" from left to right.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(panel.Check3(i)->text(), QString::number(i));
        EXPECT_EQ(panel.Check3(i)->size(), ui::twipsRect(0, 0, 495, 495).size());
        EXPECT_EQ(ui::backgroundOf(*panel.Check3(i)), ui::kLow);
        EXPECT_EQ(panel.Label3(i)->text(), QString::number(i));
        EXPECT_EQ(ui::backgroundOf(*panel.Label3(i)), ui::kLow);
        EXPECT_NE(ui::textColourOf(*panel.Label3(i)), ui::kLow);  // window-text colour
        if (i > 0) {
            EXPECT_LT(panel.Check3(i - 1)->x(), panel.Check3(i)->x());
            EXPECT_LT(panel.Label3(i - 1)->x(), panel.Label3(i)->x());
        }
    }
    // The 24 V status squares: text and background both light red.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(panel.Label4(i)->text(), QString::number(i));
        EXPECT_EQ(ui::backgroundOf(*panel.Label4(i)), ui::kLow);
        EXPECT_EQ(ui::textColourOf(*panel.Label4(i)), ui::kLow);
    }

    // Legends: plain texts, unlike the main panel's.
    const std::pair<int, const char*> legend[] = {{0, "- Logic Low"},     {1, "- Logic High"},  {2, "Digital Legend"},
                                                  {3, "- Output 24 Volt"}, {4, "- Output 0 Volt"}, {5, "24V Legend"}};
    for (auto [index, text] : legend)
        EXPECT_EQ(panel.Label9(index)->text(), text) << index;
    EXPECT_EQ(panel.Label9(2)->pos(), ui::twipsRect(5760, 3480, 0, 0).topLeft());
    EXPECT_EQ(panel.Label9(5)->pos(), ui::twipsRect(7680, 3480, 0, 0).topLeft());
    EXPECT_TRUE(panel.Label9(2)->font().underline());
    EXPECT_TRUE(panel.Label9(5)->font().underline());
    const QColor swatches[] = {ui::kLow, ui::kHigh, ui::kLow, ui::kHigh};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(ui::backgroundOf(*panel.Label444(i)), swatches[i]) << i;

    // Identity column.
    EXPECT_EQ(panel.Label5()->text(), "Model Name:");
    EXPECT_EQ(panel.Label7()->text(), "Serial Number:");
    EXPECT_EQ(panel.Label6()->text(), "IOX-MODEL-C");
    EXPECT_EQ(panel.Label8()->text(), "");
    for (QLabel* identity : {panel.Label6(), panel.Label8()}) {
        EXPECT_EQ(ui::textColourOf(*identity), ui::kNavy);
        EXPECT_EQ(identity->frameShape(), QFrame::Box);
        EXPECT_TRUE(identity->font().bold());
    }

    // The serial-output frame is the main panel's, with its design values.
    EXPECT_EQ(panel.Text1()->text(), "101011");
    EXPECT_EQ(panel.Shape2()->fillColour(), panels::kIndicatorDesign);

    // No pulse button, no firmware indicator, no port-direction choice.
    for (const QPushButton* button : panel.findChildren<QPushButton*>())
        EXPECT_NE(button->text(), "pls-5");
    for (const QLabel* label : panel.findChildren<QLabel*>())
        EXPECT_NE(label->text(), "(fw)");
    EXPECT_TRUE(panel.findChildren<QRadioButton*>().isEmpty());
    EXPECT_EQ(panel.findChildren<QPushButton*>().size(), 2 + 4 + 2);  // switches, Send, Set
}

}  // namespace
}  // namespace iox::testing
