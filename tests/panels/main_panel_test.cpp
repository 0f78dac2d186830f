// The main panel's switches (their faces in exactly their colours), port directions, poll
// (not frozen by a silent box) and design layout; its serial-output frame: "Send" with the
// chosen lines, the indicator, "Set" with the pulse-width conversion. The compact panel IO4:
// the start-up's hand-over to it, its model check, its own rows and switches, its own
// connection, placement and closing.

#include <QElapsedTimer>
#include <QImage>
#include <QScreen>

#include <set>

#include "panel_fixture.h"
#include "panels/io4.h"

namespace iox::testing {
namespace {

using panels::IO4;
using panels::TestForm;

using MainPanel = LoadedPanel;

TEST_F(MainPanel, SwitchesSendTheirCommandsOnlyWhenTheyChange)
{
    form->Check3(0)->click();
    form->Check3(0)->click();
    // A value set by the program raises the handler only when it changes.
    for (const bool on : {false, true, true})
        form->Check1(2)->setChecked(on);
    form->Command3_Click(0);  // the hidden pulse button's handler
    EXPECT_EQ(requests(), Requests({"TTL B0 1", "TTL B0 0", "Relay 2 1", "Pulse A0 5"}));
}

TEST_F(MainPanel, InputPortsClearTheirSetLinesFirstAndDisableTheirSwitches)
{
    for (QPushButton* line : {form->Check2(1), form->Check2(6), form->Check3(7)})
        line->click();
    form->Option1(1)->click();
    form->Option2(1)->click();
    EXPECT_EQ(requests(), Requests({"TTL A1 1", "TTL A6 1", "TTL B7 1", "TTL A1 0", "TTL A6 0", "A-in", "TTL B7 0", "B-in"}));
    EXPECT_EQ(levels([&](int i) { return form->Check2(i); }) + levels([&](int i) { return form->Check3(i); }),
              std::string(16, '0'));
    for (int i = 0; i < 8; ++i)
        EXPECT_FALSE(form->Check2(i)->isChecked() || form->Check2(i)->isEnabled() || form->Check3(i)->isEnabled()) << i;

    // Back to output: the ports only turn, and an option already chosen sends nothing.
    bus.clearLog();
    form->Option1(0)->click();
    form->Option2(0)->click();
    form->Option2(0)->click();
    EXPECT_EQ(requests(), Requests({"A-out", "B-out"}));
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(form->Check2(i)->isEnabled() && form->Check3(i)->isEnabled()) << i;
    EXPECT_FALSE(form->Check2(1)->isChecked());
}

TEST_F(MainPanel, ATickColoursEachRowFromItsOwnByte)
{
    USB_IO& io = session::sharedDevice();
    io.Set_ByteA(0x81);
    io.Set_ByteB(0x02);
    io.Set_RelayByte(0x80);
    form->Timer1_Timer();
    EXPECT_EQ(levels([&](int i) { return form->Label2(i); }) + " " + levels([&](int i) { return form->Label3(i); }) +
                  " " + levels([&](int i) { return form->Label4(i); }),
              "10000001 01000000 00000001");
    EXPECT_EQ(colourOf(form->Check1(7)), ui::kLow) << "the poll never touches the switches";
    const qint64 before = form->Label2(0)->palette().cacheKey();
    form->Timer1_Timer();
    EXPECT_EQ(form->Label2(0)->palette().cacheKey(), before) << "unchanged labels are left alone";
}

// The colours of a switch's face near its edges and corners, clear of the caption.
std::set<QRgb> faceColours(QWidget* box)
{
    const QImage image = box->grab().toImage();
    const int w = image.width(), h = image.height();
    std::set<QRgb> colours;
    for (const QPoint at : {QPoint(3, h / 2), QPoint(w - 4, h / 2), QPoint(w / 2, 3), QPoint(3, 3), QPoint(w - 4, h - 4)})
        colours.insert(image.pixel(at) & 0xFFFFFF);
    return colours;
}

TEST_F(MainPanel, DesignStateAndSwitchFacesFlatInTheirExactColoursOffOnAndHovered)
{
    const std::pair<QString, const char*> texts[] = {
        {form->Frame1()->caption(), "Set Relays"},   {form->Frame3(2)->caption(), "Relays Status:"},
        {form->Frame2(0)->caption(), ""},            {form->Label1(0)->text(), " Config Digital Byte A   "},
        {form->Option1(1)->text(), "Byte A as Input"}, {form->Label9(0)->text(), "\"- Low\""},
        {form->Label9(4)->text(), "- Common to NC"}, {form->Command3(0)->toolTip(), "5 ms Pulse"},
        {form->Frame6()->caption(), "Digital SPI Out "}, {form->Label1(3)->text(), "Pulse width (us):"},
        {form->Label1(6)->text(), "LE Bit:"},        {form->Text2()->text(), "10"},
    };
    for (const auto& [shown, expected] : texts)
        EXPECT_EQ(shown, expected);
    EXPECT_EQ(colourOf(form), ui::kWindowColour);
    EXPECT_EQ(colourOf(form->Label444(1)), ui::kHigh);
    EXPECT_EQ(ui::textColourOf(*form->Label6()), ui::kNavy);
    EXPECT_EQ(colourOf(form->Frame6()->Command2()), QColor(Qt::white));
    EXPECT_FALSE(form->Command3(0)->isVisibleTo(form));
    EXPECT_EQ(form->Text1()->maxLength(), 32);
    EXPECT_EQ(form->Text2()->maxLength(), 3);

    // A switch's face is flat in its exact colour, off and on, hovered or not.
    QPushButton* box = form->Check1(0);
    const std::set<QRgb> low{ui::kLow.rgb() & 0xFFFFFF}, high{ui::kHigh.rgb() & 0xFFFFFF};
    EXPECT_EQ(faceColours(box), low);
    box->setAttribute(Qt::WA_UnderMouse, true);
    EXPECT_EQ(faceColours(box), low);
    box->click();
    EXPECT_EQ(faceColours(box), high);
    box->setAttribute(Qt::WA_UnderMouse, false);
    EXPECT_EQ(faceColours(box), high);
}

TEST_F(MainPanel, ASilentBoxTakesClicksAtOnceAndIsShownAgainOnTheTickAfterItAnswers)
{
    // The operator clicks while a tick waits for the silent box.
    QElapsedTimer clock;
    qint64 relayAt = -1;
    watch = [&](boxes::Direction direction, const std::string&, const Report& r) {
        if (direction == boxes::Direction::Out && r[1] == cmd::ReadByteA && !clock.isValid()) {
            clock.start();
            QMetaObject::invokeMethod(form, [this] { form->Check1(3)->click(); }, Qt::QueuedConnection);
        }
        if (direction == boxes::Direction::Out && r[1] == cmd::SetRelay)
            relayAt = clock.elapsed();
    };
    bus.faults(box).silent = true;
    QElapsedTimer spun;
    spun.start();
    while (relayAt < 0 && spun.elapsed() < 4000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_GE(relayAt, 0);
    EXPECT_LT(relayAt, 250);

    bus.faults(box).silent = false;
    session::sharedDevice().Set_ByteA(0x01);
    clock.restart();
    while (colourOf(form->Label2(0)) != ui::kHigh && clock.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_LT(clock.elapsed(), 300);
}

// ---- the serial-output frame ----------------------------------------------------------

class SerialFrame : public LoadedPanel {
protected:
    void send() { form->Frame6()->Command1()->click(); }
    QColor indicator() const { return form->Shape2()->fillColour(); }
};

TEST_F(SerialFrame, ClearsTheChosenLinesThatWereSetThenSendsTheWordAsItStands)
{
    struct Case {
        const char *clock, *data, *latch, *word;
        Requests expected;
    };
    // Set before each: A0, A3, B0, B1, B3. No line chosen ("") stands for B0.
    const Case cases[] = {
        {"B0", "B1", "B2", "101011", {"TTL B0 0", "TTL B1 0", "SPI B0 B1 B2 101011"}},
        {"A3", "B7", "A0", "1", {"TTL A3 0", "TTL A0 0", "SPI A3 B7 A0 1"}},
        {"B1", "B1", "B2", "01", {"TTL B1 0", "SPI B1 B1 B2 01"}},  // one line twice: cleared once
        {"B2", "B4", "B5", "", {"SPI B2 B4 B5 "}},
        {"", "", "", "1", {"TTL B0 0"}},  // SPI_OUT refuses an empty line name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        for (int i = 0; i < 8; ++i) {
            form->Check2(i)->setChecked(i == 0 || i == 3);
            form->Check3(i)->setChecked(i <= 1 || i == 3);
        }
        const char* const chosen[] = {c.clock, c.data, c.latch};
        for (int i = 0; i < 3; ++i)
            form->Combo1(i)->setCurrentIndex(form->Combo1(i)->findText(chosen[i]));
        form->Text1()->setText(c.word);
        bus.clearLog();
        send();
        EXPECT_EQ(requests(), c.expected);
        for (const std::string set : {"A0", "A3", "B0", "B1", "B3"}) {
            const int bit = set[1] - '0';
            const bool on = (set[0] == 'A' ? form->Check2(bit) : form->Check3(bit))->isChecked();
            EXPECT_EQ(on, std::ranges::count(c.expected, "TTL " + set + " 0") == 0) << set;
        }
        EXPECT_EQ(indicator(), c.expected.back().starts_with("SPI") ? ui::kHigh : panels::kIndicatorFailed);
    }
}

TEST_F(SerialFrame, PumpsAfterTheClearingThenYellowDuringTheTransferThenGreen)
{
    form->Check3(0)->click();
    bus.clearLog();
    std::vector<QColor> atPumps;
    std::optional<QColor> duringTransfer;
    services.onProcessEvents = [&] {
        atPumps.push_back(indicator());
        form->Timer1_Timer();  // a tick that was queued
    };
    bus.faults(box).mangle = [&](Report& r) {
        if (r[1] == cmd::SpiOut)
            duringTransfer = indicator();
    };
    send();
    EXPECT_EQ(requests(), Requests({"TTL B0 0", "ReadA", "ReadB", "ReadRelays", "ReadA", "ReadB", "ReadRelays",
                                    "SPI B0 B1 B2 101011"}));
    EXPECT_EQ(atPumps, (std::vector<QColor>{panels::kIndicatorDesign, panels::kIndicatorBusy}));
    EXPECT_EQ(duringTransfer, panels::kIndicatorBusy);
}

TEST_F(SerialFrame, AFailedSendShowsRedUntilTheNextGoodOneAndSetBeepsOutsideSixteenBits)
{
    form->Combo1(1)->setCurrentIndex(-1);  // an empty line name: nothing is sent
    send();
    form->Timer1_Timer();
    for (const char* width : {"3.5", "4e4"}) {  // what "Set" sends, and for which texts, is fuzz_panel_texts'
        form->Text2()->setText(width);
        form->Frame6()->Command2()->click();
    }
    EXPECT_EQ(services.events, std::vector<std::string>{"beep"}) << "a beep, no message";
    EXPECT_EQ(form->Text2()->text(), "4e4");
    EXPECT_EQ(indicator(), panels::kIndicatorFailed);
    form->Combo1(1)->setCurrentText("B1");
    send();
    EXPECT_EQ(indicator(), ui::kHigh);
    bus.vanish(box);
    send();
    EXPECT_EQ(indicator(), panels::kIndicatorFailed);
}

TEST(PulseWidthFromText, RoundsWithinTheSixteenBitRangeAndRefusesOutsideIt)
{
    const std::pair<const char*, std::optional<std::int16_t>> cases[] = {
        {"10", 10}, {"300", 300}, {"-5", -5}, {"2.5", 2}, {"3.5", 4}, {"", 0}, {"abc", 0}, {"12x", 12},
        {" 7 ", 7}, {"1 2", 12}, {"&HF", 15}, {"1e2", 100}, {"9e9", {}}, {"4e4", {}}, {"32767.4", 32767},
        {"32767.5", {}}, {"-32768.5", -32768}, {"-32769", {}}, {"1e999", {}}, {"&HFFFF", -1}, {"&H10000", {}},
        {"&O17", 15}, {"&", 0}, {"-2.5", -2}, {"+4", 4},
    };
    for (const auto& [text, width] : cases)
        EXPECT_EQ(panels::pulseWidthFromText(QString::fromLatin1(text)), width) << text;
}

// ---- the compact panel IO4 -----------------------------------------------------------

using CompactPanel = PanelTest;

TEST_F(CompactPanel, TheStartUpHandsTheChosenBoxOverToIO4AndClosesTheMainPanelUnseen)
{
    addBox("IOX-MODEL-B", "30001");
    addBox("IOX-MODEL-B", "30002");
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
