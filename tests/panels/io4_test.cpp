// The compact panel IO4: the start-up's hand-over to it, its model check, its own rows and
// switches, its own connection, placement and closing. The serial-output frame it shares
// with the main panel is tested there.

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

using CompactPanel = PanelTest;

TEST_F(CompactPanel, TheStartUpHandsTheChosenBoxOverToIO4AndClosesTheMainPanelUnseen)
{
    addBox("IOX-MODEL-B", "30001");
    const std::size_t box = addBox("IOX-MODEL-B", "30002");
    services.onModal = pickRow(1);
    // What the hand-over had done when IO4's load first let events run (its Connect).
    QPointer<TestForm> testForm;
    std::optional<QString> atLoad;
    services.onProcessEvents = [&] {
        if (TestForm* main = panels::mainPanel(); main && !testForm)
            testForm = main;
        if (IO4* panel = panels::compactPanel(); panel && !atLoad)
            atLoad = panel->SN_Selected + "|" + panel->windowTitle() + "|" + (panel->isVisible() ? "shown" : "") +
                     "|" + (session::sharedDevice().isConnected() ? "shared open" : "");
    };
    EXPECT_EQ(panels::loadMainPanel(), nullptr);
    services.onProcessEvents = nullptr;
    IO4* io4 = panels::compactPanel();
    ASSERT_NE(io4, nullptr);
    const HidHandle own = io4->device().GetUSBDeviceHandle();
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
    EXPECT_EQ(testForm->windowHandle(), nullptr) << "never shown";
    EXPECT_EQ(services.events, std::vector<std::string>{"modal:ListForm"});
    EXPECT_EQ(io4->Label8()->text(), "30002");

    // Its switches and "Send" go to its own box on its own connection.
    bus.clearLog();
    io4->Check1(1)->click();
    io4->Check3(2)->click();
    io4->Check3(2)->click();
    io4->Check3(0)->click();
    io4->Frame6()->Command1()->click();
    EXPECT_EQ(requests(own),
              Requests({"Relay 1 1", "TTL B2 1", "TTL B2 0", "TTL B0 1", "TTL B0 0", "SPI B0 B1 B2 101011"}));
    EXPECT_FALSE(io4->Check3(0)->isChecked());
    EXPECT_EQ(bus.box(0).relays() * 256 + bus.box(box).relays(), 0x02);
    // Its rows show its own box: port B's four lines, then the two relays.
    io4->device().Set_ByteB(0x09);
    io4->Timer1_Timer();
    EXPECT_EQ(levels([&](int i) { return io4->Label3(i); }, 4) + levels([&](int i) { return io4->Label4(i); }, 2), "100101");
}

TEST_F(CompactPanel, OnlyTheCompactModelFillsTheSerialLinesAndTheLoadPlacesTheWindowByItsFrame)
{
    for (const auto& [model, items] : {std::pair{"IOX-MODEL-B", 4}, {"IOX-MODEL-C", 0}, {"iox-model-b", 0}}) {
        SCOPED_TRACE(model);
        const std::size_t b = addBox(model, "40001");
        IO4* io4 = panels::openCompactPanel("40001", kPanelTitle);
        EXPECT_EQ(io4->Label6()->text(), model);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(itemsOf(io4->Combo1(i)) << QString::number(io4->Combo1(i)->currentIndex()),
                      (items ? QStringList({"B0", "B1", "B2", "B3", QString::number(i)}) : QStringList("-1")));
        // At half the width and a third of the height of the screen.
        const QRect screen = io4->screen()->geometry();
        const QSize size = io4->frameGeometry().size();
        ASSERT_NE(size, io4->size()) << "shown, the window has its frame";
        EXPECT_EQ(io4->pos(), QPoint(screen.left() + (screen.width() - size.width()) / 2,
                                     screen.top() + (screen.height() - size.height()) / 3));
        io4->unload();
        bus.vanish(b);
    }
}

TEST_F(CompactPanel, NoBoxForTheSerialNumberShowsOneMessageAndAnEmptyPanelThatPollsNothing)
{
    addBox("IOX-MODEL-B", "30001");
    IO4* io4 = panels::openCompactPanel("99999", kPanelTitle);
    EXPECT_TRUE(io4->isVisible() && services.messages.at(0).buttons == ui::Buttons::Ok);
    EXPECT_EQ(io4->Label6()->text() + QString::number(io4->Combo1(0)->count()), "0");
    ui::setBackground(*io4->Label3(2), ui::kHigh);
    io4->Timer1_Timer();
    EXPECT_EQ(requests(), Requests({"SN"}));  // the discovery's read only
    EXPECT_EQ(colourOf(io4->Label3(2)), ui::kLow);
    EXPECT_EQ(services.events, std::vector<std::string>{"message:Connection to USB IO failed"});
}

}  // namespace
}  // namespace iox::testing
