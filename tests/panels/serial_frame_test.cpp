// The main panel's serial-output frame: "Send" with the chosen lines, the indicator,
// "Set" with the pulse-width conversion, and the frame's design state.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

#include "panel_fixture.h"
#include "panels/main_panel.h"
#include "panels/panel_parts.h"
#include "panels/test_form.h"

namespace iox::testing {
namespace {

using panels::TestForm;

class SerialFrame : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        box = addBox("IOX-MODEL-C", "10001");
        form = panels::loadMainPanel();
        ASSERT_NE(form, nullptr);
        bus.clearLog();
    }
    void send() { form->Frame6()->Command1()->click(); }
    void setPulseWidth(const QString& text)
    {
        form->Text2()->setText(text);
        form->Frame6()->Command2()->click();
    }
    QColor indicator() const { return form->Shape2()->fillColour(); }
    // The indicator's colour at the moment the box answers a serial-output request.
    void watchIndicatorDuringTransfer()
    {
        bus.faults(box).mangle = [this](Report& r) {
            if (r[1] == cmd::SpiOut)
                duringTransfer = indicator();
        };
    }
    // The one serial-output request the box received.
    std::optional<Report> spiRequest() const
    {
        std::optional<Report> found;
        for (const Report& r : bus.requestsTo(box))
            if (r[1] == cmd::SpiOut) {
                EXPECT_FALSE(found) << "more than one serial-output request";
                found = r;
            }
        return found;
    }

    std::size_t box = 0;
    TestForm* form = nullptr;
    std::optional<QColor> duringTransfer;
};

// ---- "Send" --------------------------------------------------------------------------------

TEST_F(SerialFrame, SendClearsOnlyTheChosenLinesThatWereSetThenSendsTheWord)
{
    form->Check3(0)->click();
    form->Check3(2)->click();
    form->Check3(3)->click();  // not a chosen line
    bus.clearLog();
    send();
    EXPECT_EQ(requests(), Requests({"TTL B0 0", "TTL B2 0", "SPI B0 B1 B2 101011"}));
    for (int i : {0, 1, 2}) {
        EXPECT_FALSE(form->Check3(i)->isChecked()) << i;
        EXPECT_EQ(colourOf(form->Check3(i)), ui::kLow) << i;
    }
    EXPECT_TRUE(form->Check3(3)->isChecked());
    EXPECT_EQ(colourOf(form->Check3(3)), ui::kHigh);
    EXPECT_EQ(bus.box(box).drivenB(), 0x08);
}

TEST_F(SerialFrame, TheRequestCarriesTheLineNamesTheLengthAndOneByteABit)
{
    form->Text1()->setText("10110");
    send();
    const std::optional<Report> r = spiRequest();
    ASSERT_TRUE(r);
    const std::vector<std::uint8_t> head(r->begin() + 1, r->begin() + 14);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{36, 66, 0, 66, 1, 66, 2, 5, 1, 0, 1, 1, 0}));
    for (std::size_t i = 14; i < r->size(); ++i)
        EXPECT_EQ((*r)[i], 0) << i;
    ASSERT_EQ(bus.box(box).spiWords().size(), 1u);
    EXPECT_EQ(bus.box(box).spiWords()[0].bits, (std::vector<std::uint8_t>{1, 0, 1, 1, 0}));
    EXPECT_EQ(bus.box(box).pulseWidth(), 10);  // a send never carries the pulse width
}

TEST_F(SerialFrame, TheChosenLinesAndTheWordAreSentAsTheyStand)
{
    struct Case {
        const char* clock;
        const char* data;
        const char* latch;
        const char* word;
        Requests expected;
    };
    const Case cases[] = {
        {"A3", "B7", "A0", "1", {"TTL A3 0", "TTL A0 0", "SPI A3 B7 A0 1"}},
        // The same line for two roles: its box is cleared once, the name sent twice.
        {"B1", "B1", "B2", "01", {"TTL B1 0", "SPI B1 B1 B2 01"}},
        // The panel does not check the word: other characters go out as 0.
        {"B0", "B1", "B2", "1x2", {"TTL B1 0", "SPI B0 B1 B2 102"}},
        // An empty word is still sent.
        {"B0", "B1", "B2", "", {"TTL B1 0", "SPI B0 B1 B2 "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        for (int i = 0; i < 8; ++i) {
            form->Check2(i)->setChecked(i == 3 || i == 0);
            form->Check3(i)->setChecked(i == 1);
        }
        form->Combo1(0)->setCurrentText(c.clock);
        form->Combo1(1)->setCurrentText(c.data);
        form->Combo1(2)->setCurrentText(c.latch);
        form->Text1()->setText(c.word);
        bus.clearLog();
        send();
        EXPECT_EQ(requests(), c.expected);
        EXPECT_EQ(indicator(), ui::kHigh);
    }
}

TEST_F(SerialFrame, PortALinesClearThePortABoxesNotThePortBOnes)
{
    form->Combo1(0)->setCurrentText("A5");
    form->Check2(5)->click();
    form->Check3(5)->click();
    bus.clearLog();
    send();
    EXPECT_EQ(requests(), Requests({"TTL A5 0", "SPI A5 B1 B2 101011"}));
    EXPECT_FALSE(form->Check2(5)->isChecked());
    EXPECT_TRUE(form->Check3(5)->isChecked());
}

TEST_F(SerialFrame, TheIndicatorIsYellowDuringTheTransferThenGreen)
{
    EXPECT_EQ(indicator(), panels::kIndicatorDesign);
    watchIndicatorDuringTransfer();
    send();
    ASSERT_TRUE(duringTransfer);
    EXPECT_EQ(*duringTransfer, panels::kIndicatorBusy);
    EXPECT_EQ(indicator(), ui::kHigh);
}

TEST_F(SerialFrame, PendingEventsRunAfterTheClearingAndBeforeTheTransfer)
{
    form->Check3(0)->click();
    bus.clearLog();
    std::vector<QColor> atPumps;
    services.onProcessEvents = [&] {
        atPumps.push_back(indicator());
        form->Timer1_Timer();  // a tick that was queued
    };
    send();
    EXPECT_EQ(requests(), Requests({"TTL B0 0", "ReadA", "ReadB", "ReadRelays", "ReadA", "ReadB", "ReadRelays",
                                    "SPI B0 B1 B2 101011"}));
    // Yellow is set between the two pumps, so the second one paints it.
    EXPECT_EQ(atPumps, (std::vector<QColor>{panels::kIndicatorDesign, panels::kIndicatorBusy}));
}

TEST_F(SerialFrame, ASendTheDeviceRefusesShowsRedUntilTheNextGoodOne)
{
    send();
    ASSERT_EQ(indicator(), ui::kHigh);
    form->Combo1(1)->setCurrentIndex(-1);  // an empty line name: nothing is sent
    bus.clearLog();
    send();
    EXPECT_TRUE(requests().empty());
    EXPECT_EQ(indicator(), panels::kIndicatorFailed);
    EXPECT_TRUE(services.messages.empty());
    // The colour stays through ticks and "Set" until the next send.
    form->Timer1_Timer();
    setPulseWidth("20");
    EXPECT_EQ(indicator(), panels::kIndicatorFailed);
    form->Combo1(1)->setCurrentText("B1");
    send();
    EXPECT_EQ(indicator(), ui::kHigh);
}

TEST_F(SerialFrame, ListsWithoutASelectionClearLineBZeroAndSendNothing)
{
    form->Frame6()->setLines({}, -1, -1, -1);
    form->Check3(0)->click();
    form->Check3(1)->click();
    form->Check2(0)->click();
    bus.clearLog();
    send();
    // Each empty text selects port B bit 0; SPI_OUT refuses the empty line names.
    EXPECT_EQ(requests(), Requests({"TTL B0 0"}));
    EXPECT_FALSE(form->Check3(0)->isChecked());
    EXPECT_TRUE(form->Check3(1)->isChecked());
    EXPECT_TRUE(form->Check2(0)->isChecked());
    EXPECT_EQ(indicator(), panels::kIndicatorFailed);
}

// ---- "Set" ---------------------------------------------------------------------------------

TEST_F(SerialFrame, SetSendsThePulseWidthReadFromTheText)
{
    struct Case {
        const char* text;
        int sent;
    };
    const Case cases[] = {
        {"10", 10},   {"0", 0},     {"255", 255}, {"300", 255},  // clamped by the device
        {"-5", 0},    {"2.5", 2},   {"3.5", 4},   {"1.4", 1},    // halves to the even neighbour
        {"", 0},      {"abc", 0},   {"x12", 0},   {"12x", 12},   // the leading number only
        {" 7 ", 7},   {"1 2", 12},  {"&HF", 15},  {"1e2", 100},  // blanks ignored, Val forms
        {"3e4", 255}, {"-1", 0},    {".5", 0},    {"-.7", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        bus.clearLog();
        setPulseWidth(c.text);
        EXPECT_EQ(requests(), Requests({"PulseWidth " + std::to_string(c.sent)}));
        EXPECT_EQ(form->Text2()->text(), c.text);  // the text keeps what was typed
    }
    EXPECT_EQ(services.beeps, 0);
}

TEST_F(SerialFrame, APulseWidthOutsideTheSixteenBitRangeIsRefusedWithABeep)
{
    setPulseWidth("20");
    // Within three characters only an exponent leaves the range.
    const char* const texts[] = {"9e9", "4e4", "1e5", "9d9"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        bus.clearLog();
        setPulseWidth(text);
        EXPECT_TRUE(requests().empty());
        EXPECT_EQ(form->Text2()->text(), text);
    }
    EXPECT_EQ(services.beeps, 4);
    EXPECT_EQ(bus.box(box).pulseWidth(), 20);  // never a wrapped value
}

TEST(PulseWidthFromText, RoundsWithinTheSixteenBitRangeAndRefusesOutsideIt)
{
    struct Case {
        const char* text;
        std::optional<std::int16_t> width;
    };
    const Case cases[] = {
        {"32767", 32767},   {"32767.4", 32767}, {"32767.5", std::nullopt}, {"32768", std::nullopt},
        {"-32768", -32768}, {"-32768.5", -32768}, {"-32769", std::nullopt}, {"1e999", std::nullopt},
        {"&HFFFF", -1},     {"&H10000", std::nullopt}, {"&O17", 15}, {"&", 0},
        {"0.5", 0},         {"1.5", 2},           {"-2.5", -2},             {"+4", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(panels::pulseWidthFromText(QString::fromLatin1(c.text)), c.width);
    }
}

// ---- design state --------------------------------------------------------------------------

TEST_F(SerialFrame, TheFrameShowsItsDesignCaptionsAndValues)
{
    panels::SerialOutFrame* frame = form->Frame6();
    EXPECT_EQ(frame->caption(), "Digital SPI Out ");
    EXPECT_EQ(frame->geometry(), ui::twipsRect(240, 6840, 5175, 2655));
    const std::pair<int, const char*> captions[] = {
        {2, "Binary Word to Send:"}, {3, "Pulse width (us):"}, {4, "Clock Bit:"}, {5, "Data Bit:"}, {6, "LE Bit:"}};
    for (auto [index, text] : captions)
        EXPECT_EQ(form->Label1(index)->text(), text) << index;
    EXPECT_EQ(frame->LabelMsb()->text(), "MSB");
    EXPECT_EQ(frame->LabelLsb()->text(), "LSB");
    EXPECT_LT(frame->LabelMsb()->x(), frame->LabelLsb()->x());
    EXPECT_EQ(form->Text1()->text(), "101011");
    EXPECT_EQ(form->Text1()->maxLength(), 32);
    EXPECT_EQ(form->Text2()->text(), "10");
    EXPECT_EQ(form->Text2()->maxLength(), 3);
    EXPECT_TRUE(form->Text2()->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(frame->Command1()->text(), "Send");
    EXPECT_EQ(frame->Command2()->text(), "Set");
    EXPECT_EQ(colourOf(frame->Command1()), QColor(Qt::white));
    EXPECT_EQ(colourOf(frame->Command2()), QColor(Qt::white));
    EXPECT_EQ(form->Shape2()->geometry(), ui::twipsRect(2280, 1400, 255, 255));
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(form->Combo1(i)->isEditable()) << i;  // a pick of the items only
}

}  // namespace
}  // namespace iox::testing
