// The compact panel IO4: the start-up's hand-over to it, its model check, its own rows and
// switches, its own connection, placement and closing. The serial-output frame it shares
// with the main panel is tested there.

#include <QEvent>
#include <QPointer>
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
            if (IO4* panel = panels::compactPanel(); panel && !atLoad)
                atLoad = panel->SN_Selected + "|" + panel->windowTitle() + "|" + (panel->isVisible() ? "shown" : "") +
                         "|" + (session::sharedDevice().isConnected() ? "shared open" : "");
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

    std::size_t box = 0;
    IO4* io4 = nullptr;
    HidHandle own = 0;
    QPointer<TestForm> testForm;
    ShowCounter testFormShows;
    std::optional<QString> atLoad;
};

TEST_F(CompactPanel, TheStartUpHandsTheChosenBoxOverToIO4AndClosesTheMainPanelUnseen)
{
    addBox("IOX-MODEL-B", "30001");
    box = addBox("IOX-MODEL-B", "30002");
    services.onModal = pickRow(1);
    ASSERT_NE(start(), nullptr);
    // When IO4's load connected: its serial number and title set, not shown, shared object closed.
    EXPECT_EQ(atLoad, QString("30002|") + kPanelTitle + "||");

    // The shared object's load, then nothing more on it; then IO4's own load.
    const auto first = std::ranges::find_if(bus.log(), [](const auto& e) { return describe(e.report) == "A-out"; });
    ASSERT_NE(first, bus.log().end());
    Requests sequence, expected = kLoadRequests;
    for (const sim::LogEntry& entry : bus.log())
        if (entry.handle == first->handle || entry.handle == own)
            sequence.push_back((entry.handle == own ? "own " : "") + describe(entry.report));
    for (const std::string& request : kLoadRequests)
        expected.push_back("own " + request);
    EXPECT_EQ(sequence, expected);
    EXPECT_EQ(bus.openHandles(), 1u);

    EXPECT_TRUE(io4->isVisible() && io4->Timer1()->isActive() && io4->Timer1()->interval() == 1);
    ASSERT_TRUE(testForm);
    EXPECT_TRUE(testForm->isUnloaded() && !testForm->Timer1()->isActive() && !panels::mainPanel());
    EXPECT_EQ(testFormShows.shows, 0);
    EXPECT_EQ(services.events, std::vector<std::string>{"modal:ListForm"});
    EXPECT_EQ(io4->Label8()->text(), "30002");
    io4->Check1(0)->click();
    EXPECT_EQ(bus.box(0).relays() * 256 + bus.box(box).relays(), 0x01);
}

TEST_F(CompactPanel, OnlyTheCompactModelFillsTheSerialLines)
{
    for (const auto& [model, items] : {std::pair{"IOX-MODEL-B", 4}, {"IOX-MODEL-C", 0}, {"iox-model-b", 0}}) {
        SCOPED_TRACE(model);
        const std::size_t b = addBox(model, "40001");
        open("40001");
        EXPECT_EQ(io4->Label6()->text(), model);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(itemsOf(io4->Combo1(i)) << QString::number(io4->Combo1(i)->currentIndex()),
                      (items ? QStringList({"B0", "B1", "B2", "B3", QString::number(i)}) : QStringList("-1")));
        io4->unload();
        bus.vanish(b);
    }
}

TEST_F(CompactPanel, TheLoadPlacesTheWindowAtHalfTheWidthAndAThirdOfTheHeightByItsFrame)
{
    box = addBox("IOX-MODEL-B", "30001");
    open("30001");
    const QRect screen = io4->screen()->geometry();
    const QSize size = io4->frameGeometry().size();
    ASSERT_NE(size, io4->size()) << "shown, the window has its frame";
    EXPECT_EQ(io4->pos(), QPoint(screen.left() + (screen.width() - size.width()) / 2,
                                 screen.top() + (screen.height() - size.height()) / 3));
}

TEST_F(CompactPanel, NoBoxForTheSerialNumberShowsOneMessageAndAnEmptyPanelThatPollsNothing)
{
    box = addBox("IOX-MODEL-B", "30001");
    open("99999");
    EXPECT_TRUE(io4->isVisible() && services.messages.at(0).buttons == ui::Buttons::Ok);
    EXPECT_EQ(io4->Label6()->text() + QString::number(io4->Combo1(0)->count()), "0");
    ui::setBackground(*io4->Label3(2), ui::kHigh);
    io4->Timer1_Timer();
    EXPECT_EQ(requests(), Requests({"SN"}));  // the discovery's read only
    EXPECT_EQ(colourOf(io4->Label3(2)), ui::kLow);
    EXPECT_EQ(services.events, std::vector<std::string>{"message:Connection to USB IO failed"});
}

TEST_F(CompactPanel, SwitchesGoToTheirLines)
{
    startWithOneBox();
    io4->Check1(1)->click();
    io4->Check3(2)->click();
    io4->Check3(2)->click();
    io4->Check3(3)->click();
    EXPECT_EQ(requests(own), Requests({"Relay 1 1", "TTL B2 1", "TTL B2 0", "TTL B3 1"}));
}

TEST_F(CompactPanel, SendUsesIO4sOwnConnectionAndClearsItsSwitch)
{
    startWithOneBox();
    io4->Check3(0)->click();
    bus.clearLog();
    io4->Frame6()->Command1()->click();
    EXPECT_EQ(requests(own), Requests({"TTL B0 0", "SPI B0 B1 B2 101011"}));
    EXPECT_FALSE(io4->Check3(0)->isChecked());
    EXPECT_EQ(io4->Shape2()->fillColour(), ui::kHigh);
}

}  // namespace
}  // namespace iox::testing
