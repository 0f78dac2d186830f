// The compact panel IO4: the start-up's hand-over to it, its load, switches, poll,
// serial output, design state and closing.

#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <optional>

#include "panel_fixture.h"
#include "panels/io4.h"

namespace iox::testing {
namespace {

using panels::IO4;
using panels::TestForm;

// Counts the Show events a window receives.
class ShowCounter : public QObject {
public:
    int shows = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        shows += event->type() == QEvent::Show;
        return false;
    }
};

class CompactPanel : public PanelTest {
protected:
    // Starts the application with the boxes added so far; IO4 must take over. Notes what
    // the hand-over had done when IO4's load first let events run (its Connect).
    IO4* start()
    {
        services.onProcessEvents = [this] {
            if (TestForm* main = panels::mainPanel(); main && !testForm) {
                testForm = main;
                main->installEventFilter(&testFormShows);
            }
            IO4* panel = panels::compactPanel();
            if (panel && !atLoad) {
                atLoad = panel->SN_Selected + "|" + panel->windowTitle() + "|" + (panel->isVisible() ? "shown" : "") +
                         "|" + (session::sharedDevice().isConnected() ? "shared open" : "");
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
    void open(const QString& serial)
    {
        io4 = panels::openCompactPanel(serial, kPanelTitle);
        own = io4->device().GetUSBDeviceHandle();
    }
    void send() { io4->Frame6()->Command1()->click(); }

    std::size_t box = 0;
    IO4* io4 = nullptr;
    HidHandle own = 0;
    QPointer<TestForm> testForm;
    ShowCounter testFormShows;
    std::optional<QString> atLoad;
};

TEST_F(CompactPanel, TheStartUpHandsTheBoxOverToIO4AndClosesTheMainPanelUnseen)
{
    box = addBox("IOX-MODEL-B", "30001");
    ASSERT_NE(start(), nullptr);
    // When IO4's load connected: its serial number and title set, not shown, shared object closed.
    EXPECT_EQ(atLoad, QString("30001|") + kPanelTitle + "||");

    // The shared object's load, then nothing more; then IO4's own load on the box.
    HidHandle shared = 0;
    std::size_t lastShared = 0, firstOwn = bus.log().size();
    for (std::size_t i = 0; i < bus.log().size(); ++i) {
        const sim::LogEntry& entry = bus.log()[i];
        if (entry.handle != own && describe(entry.report) == "A-out")
            shared = entry.handle;
        if (entry.handle == shared)
            lastShared = i;
        if (entry.handle == own && firstOwn == bus.log().size())
            firstOwn = i;
    }
    ASSERT_NE(shared, 0);
    EXPECT_EQ(requestsOn(shared), kLoadRequests);
    EXPECT_EQ(requestsOn(own), kLoadRequests);
    EXPECT_LT(lastShared, firstOwn);
    EXPECT_EQ(boxOf(own), box);
    EXPECT_EQ(bus.openHandles(), 1u);

    EXPECT_TRUE(io4->isVisible());
    EXPECT_EQ(io4->windowTitle(), kPanelTitle);
    EXPECT_TRUE(io4->Timer1()->isActive());
    EXPECT_EQ(io4->Timer1()->interval(), 1);
    ASSERT_TRUE(testForm);
    EXPECT_TRUE(testForm->isUnloaded());
    EXPECT_FALSE(testForm->Timer1()->isActive());
    EXPECT_EQ(testFormShows.shows, 0);
    EXPECT_EQ(panels::mainPanel(), nullptr);
    EXPECT_EQ(services.quits, 0);
    EXPECT_TRUE(services.messages.empty());

    EXPECT_EQ(io4->Label6()->text(), "IOX-MODEL-B");
    EXPECT_EQ(io4->Label8()->text(), "30001");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(itemsOf(io4->Combo1(i)), QStringList({"B0", "B1", "B2", "B3"})) << i;
        EXPECT_EQ(io4->Combo1(i)->currentIndex(), i);
    }
}

TEST_F(CompactPanel, IO4ConnectsToTheBoxChosenInTheSelectionWindowNotTheFirst)
{
    addBox("IOX-MODEL-B", "30001");
    box = addBox("IOX-MODEL-B", "30002");
    services.onModal = pickRow(1);
    ASSERT_NE(start(), nullptr);
    EXPECT_EQ(io4->SN_Selected, "30002");
    EXPECT_EQ(boxOf(own), box);
    bus.clearLog();
    io4->Check1(0)->click();
    EXPECT_EQ(bus.requestsTo(0).size(), 0u);
    EXPECT_EQ(bus.box(box).relays(), 0x01);
}

TEST_F(CompactPanel, OnlyTheCompactModelFillsTheSerialLines)
{
    for (const auto& [model, items] : {std::pair{"IOX-MODEL-B", 4}, {"IOX-MODEL-C", 0}, {"iox-model-b", 0}}) {
        SCOPED_TRACE(model);
        const std::size_t b = addBox(model, "40001");
        open("40001");
        EXPECT_EQ(io4->Label6()->text(), model);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(io4->Combo1(i)->count(), items);
            EXPECT_EQ(io4->Combo1(i)->currentIndex(), items ? i : -1);
        }
        io4->unload();
        bus.vanish(b);
    }
}

TEST_F(CompactPanel, TheLoadPlacesTheWindowAtHalfTheWidthAndAThirdOfTheHeight)
{
    box = addBox("IOX-MODEL-B", "30001");
    open("30001");
    const QRect screen = io4->screen()->geometry();
    const QSize size = io4->size();
    EXPECT_EQ(io4->pos(), QPoint(screen.left() + (screen.width() - size.width()) / 2,
                                 screen.top() + (screen.height() - size.height()) / 3));
}

TEST_F(CompactPanel, NoBoxForTheSerialNumberShowsOneMessageAnEmptyPanelAndAFailedSend)
{
    box = addBox("IOX-MODEL-B", "30001");
    open("99999");
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].text, "Connection to USB IO failed");
    EXPECT_EQ(services.messages[0].buttons, ui::Buttons::Ok);
    EXPECT_FALSE(io4->device().isConnected());
    EXPECT_TRUE(io4->isVisible());
    EXPECT_EQ(io4->Label6()->text(), "");
    EXPECT_EQ(io4->Label8()->text(), "");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(io4->Combo1(i)->count(), 0);

    for (int i = 0; i < 4; ++i)
        ui::setBackground(*io4->Label3(i), ui::kHigh);
    for (int i = 0; i < 2; ++i)
        ui::setBackground(*io4->Label4(i), ui::kHigh);
    io4->Timer1_Timer();
    // Only the discovery's serial-number read reached the box; the poll reached none.
    for (const std::string& r : requests())
        EXPECT_EQ(r, "SN");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(colourOf(io4->Label3(i)), ui::kLow) << i;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(colourOf(io4->Label4(i)), ui::kLow) << i;
    EXPECT_EQ(services.messages.size(), 1u);

    // "Send": the three empty texts each count as line 0 of port B; SPI_OUT gets empty names.
    io4->Check3(0)->click();
    io4->Check3(1)->click();
    bus.clearLog();
    send();
    EXPECT_FALSE(io4->Check3(0)->isChecked());
    EXPECT_EQ(colourOf(io4->Check3(0)), ui::kLow);
    EXPECT_TRUE(io4->Check3(1)->isChecked());
    EXPECT_TRUE(requests().empty());
    EXPECT_EQ(io4->Shape2()->fillColour(), panels::kIndicatorFailed);
}

TEST_F(CompactPanel, OutTwoAndPortBLinesSwitchByTheirNames)
{
    startWithOneBox();
    io4->Check1(1)->click();
    EXPECT_EQ(colourOf(io4->Check1(1)), ui::kHigh);
    EXPECT_EQ(colourOf(io4->Label4(1)), ui::kLow);
    io4->Timer1_Timer();
    EXPECT_EQ(colourOf(io4->Label4(1)), ui::kHigh);
    EXPECT_EQ(colourOf(io4->Label4(0)), ui::kLow);
    io4->Check3(2)->click();
    EXPECT_EQ(colourOf(io4->Check3(2)), ui::kHigh);
    io4->Check3(2)->click();
    EXPECT_EQ(colourOf(io4->Check3(2)), ui::kLow);
    io4->Check3(3)->click();
    EXPECT_EQ(requestsOn(own),
              Requests({"Relay 1 1", "ReadA", "ReadB", "ReadRelays", "TTL B2 1", "TTL B2 0", "TTL B3 1"}));
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
    EXPECT_EQ(colourOf(io4->Check3(1)), ui::kLow);
    EXPECT_TRUE(io4->Check3(3)->isChecked());
    EXPECT_TRUE(io4->Check1(0)->isChecked());
    EXPECT_EQ(duringTransfer, panels::kIndicatorBusy);
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
        if (!std::exchange(ticked, true))
            io4->Timer1_Timer();
    };
    send();
    EXPECT_EQ(requests(), Requests({"TTL B0 0", "ReadA", "ReadB", "ReadRelays", "SPI B0 B1 B2 101011"}));
    EXPECT_EQ(requests(), requestsOn(own));  // nothing went to the shared object
}

TEST_F(CompactPanel, ATickShowsBitsZeroToThreeOfPortBAndZeroToOneOfTheRelays)
{
    startWithOneBox();
    answerWith(box, cmd::ReadByteB, 0xF5);
    answerWith(box, cmd::ReadRelaysByte, 0x02);
    io4->Timer1_Timer();
    EXPECT_EQ(requestsOn(own), Requests({"ReadA", "ReadB", "ReadRelays"}));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(colourOf(io4->Label3(i)), i % 2 ? ui::kLow : ui::kHigh) << i;
        EXPECT_EQ(colourOf(io4->Check3(i)), ui::kLow) << "switches untouched " << i;
    }
    EXPECT_EQ(colourOf(io4->Label4(0)), ui::kLow);
    EXPECT_EQ(colourOf(io4->Label4(1)), ui::kHigh);
}

TEST_F(CompactPanel, SetReadsThePulseWidthAsTheMainPanelDoes)
{
    startWithOneBox();
    io4->Text2()->setText("abc");
    io4->Frame6()->Command2()->click();
    io4->Text2()->setText("9e9");
    io4->Frame6()->Command2()->click();
    EXPECT_EQ(requestsOn(own), Requests({"PulseWidth 0"}));
    EXPECT_EQ(services.beeps, 1);
}

TEST_F(CompactPanel, ClosingIO4DisconnectsItAndEndsTheApplication)
{
    startWithOneBox();
    io4->close();
    EXPECT_TRUE(io4->isUnloaded());
    EXPECT_FALSE(io4->Timer1()->isActive());
    EXPECT_EQ(bus.openHandles(), 0u);
    EXPECT_EQ(services.quits, 1);
    EXPECT_EQ(services.ends, 0);
}

TEST(CompactPanelDesign, LayoutCaptionsAndColours)
{
    IO4 panel;  // not loaded: no device is touched
    EXPECT_EQ(panel.size(), QSize(ui::twips(9750), ui::twips(6270)));
    EXPECT_EQ(panel.Frame5()->caption(), "Set 4 Digital Output - Byte B:");
    EXPECT_EQ(panel.Frame5()->geometry(), ui::twipsRect(120, 1800, 2895, 1335));
    EXPECT_EQ(panel.Label2(1)->text(), "Out-2");
    EXPECT_EQ(panel.Label9(3)->text(), "- Output 24 Volt");  // plain, unlike the main panel's
    EXPECT_EQ(ui::textColourOf(*panel.Label4(1)), ui::kLow);  // text and background light red
    EXPECT_EQ(ui::backgroundOf(*panel.Label4(1)), ui::kLow);
    EXPECT_EQ(panel.Label6()->text(), "IOX-MODEL-C");
    // No pulse button, no firmware indicator, no port-direction choice.
    for (const QLabel* label : panel.findChildren<QLabel*>())
        EXPECT_NE(label->text(), "(fw)");
    EXPECT_TRUE(panel.findChildren<QRadioButton*>().isEmpty());
    EXPECT_EQ(panel.findChildren<QPushButton*>().size(), 2 + 4 + 2);  // switches, Send, Set
}

}  // namespace
}  // namespace iox::testing
