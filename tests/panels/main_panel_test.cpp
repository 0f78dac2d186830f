// The main panel's switches, port directions, poll and design layout.

#include <QRadioButton>

#include "panel_fixture.h"

namespace iox::testing {
namespace {

using panels::TestForm;

using MainPanel = LoadedPanel;

struct ClickCase {
    const char* name;
    void (*act)(TestForm&);
    Requests sent;
};
void PrintTo(const ClickCase& c, std::ostream* os) { *os << c.name; }

class MainPanelClicks : public LoadedPanel, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(MainPanelClicks, SendExactlyTheirCommands)
{
    GetParam().act(*form);
    EXPECT_EQ(requests(), GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, MainPanelClicks,
    ::testing::Values(
        ClickCase{"RelayFiveOn", [](TestForm& f) { f.Check1(5)->click(); }, {"Relay 5 1"}},
        ClickCase{"PortBLineZeroOnOff", [](TestForm& f) { f.Check3(0)->click(); f.Check3(0)->click(); },
                  {"TTL B0 1", "TTL B0 0"}},
        ClickCase{"PortALineThree", [](TestForm& f) { f.Check2(3)->click(); }, {"TTL A3 1"}},
        // A value set by the program raises the handler only when it changes.
        ClickCase{"SetByTheProgram",
                  [](TestForm& f) { f.Check1(2)->setChecked(false); f.Check1(2)->setChecked(true); f.Check1(2)->setChecked(true); },
                  {"Relay 2 1"}},
        ClickCase{"PortAToInputClearsSetLinesFirst",
                  [](TestForm& f) { f.Check2(1)->click(); f.Check2(6)->click(); f.Option1(1)->click(); },
                  {"TTL A1 1", "TTL A6 1", "TTL A1 0", "TTL A6 0", "A-in"}},
        ClickCase{"PortABackToOutputOnlyTurnsThePort",
                  [](TestForm& f) { f.Check2(4)->click(); f.Option1(1)->click(); f.Option1(0)->click(); },
                  {"TTL A4 1", "TTL A4 0", "A-in", "A-out"}},
        ClickCase{"PortBInputThenOutputTwice",
                  [](TestForm& f) { f.Check3(7)->click(); f.Option2(1)->click(); f.Option2(0)->click(); f.Option2(0)->click(); },
                  {"TTL B7 1", "TTL B7 0", "B-in", "B-out"}},
        ClickCase{"HiddenPulseButtonHandler", [](TestForm& f) { f.Command3_Click(0); }, {"Pulse A0 5"}},
        ClickCase{"Tick", [](TestForm& f) { f.Timer1_Timer(); }, {"ReadA", "ReadB", "ReadRelays"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainPanel, SwitchesColourThemselvesAndTheStatusFollowsOnTheTick)
{
    form->Check1(5)->click();
    EXPECT_EQ(colourOf(form->Check1(5)), ui::kHigh);
    EXPECT_EQ(colourOf(form->Label4(5)), ui::kLow);
    form->Timer1_Timer();
    EXPECT_EQ(colourOf(form->Label4(5)), ui::kHigh);
    EXPECT_EQ(colourOf(form->Label4(4)), ui::kLow);
    form->Check3(0)->click();
    form->Check3(0)->click();
    EXPECT_EQ(colourOf(form->Check3(0)), ui::kLow);
}

TEST_F(MainPanel, InputPortsDisableAndClearTheirSwitches)
{
    form->Check2(1)->click();
    form->Check3(7)->click();
    form->Option1(1)->click();
    form->Option2(1)->click();
    for (int i = 0; i < 8; ++i) {
        EXPECT_FALSE(form->Check2(i)->isChecked());
        EXPECT_FALSE(form->Check2(i)->isEnabled());
        EXPECT_EQ(colourOf(form->Check2(i)), ui::kLow);
    }
    EXPECT_FALSE(form->Check3(7)->isEnabled());
    EXPECT_FALSE(bus.box(box).portAIsOutput());
    form->Option1(0)->click();
    form->Option2(0)->click();
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(form->Check2(i)->isEnabled() && form->Check3(i)->isEnabled()) << i;
    EXPECT_FALSE(form->Check2(1)->isChecked());
}

TEST_F(MainPanel, ATickColoursEachRowFromItsOwnByte)
{
    answerWith(box, cmd::ReadByteA, 0x81);
    answerWith(box, cmd::ReadByteB, 0x02);
    answerWith(box, cmd::ReadRelaysByte, 0x80);
    form->Timer1_Timer();
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(colourOf(form->Label2(i)), (0x81 >> i) & 1 ? ui::kHigh : ui::kLow);
        EXPECT_EQ(colourOf(form->Label3(i)), i == 1 ? ui::kHigh : ui::kLow);
        EXPECT_EQ(colourOf(form->Label4(i)), i == 7 ? ui::kHigh : ui::kLow);
    }
    EXPECT_EQ(colourOf(form->Check1(7)), ui::kLow) << "the poll never touches the switches";
}

TEST_F(MainPanel, ATickLeavesUnchangedLabelsAlone)
{
    answerWith(box, cmd::ReadByteB, 0x0F);
    form->Timer1_Timer();
    const qint64 before = form->Label3(2)->palette().cacheKey();
    form->Timer1_Timer();
    EXPECT_EQ(form->Label3(2)->palette().cacheKey(), before);
}

TEST_F(MainPanel, AFailedPollShowsEveryLabelLow)
{
    answerWith(box, cmd::ReadByteA, 0xFF);
    form->Timer1_Timer();
    ASSERT_EQ(colourOf(form->Label2(3)), ui::kHigh);
    bus.vanish(box);
    form->Timer1_Timer();
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(colourOf(form->Label2(i)), ui::kLow);
}

TEST_F(MainPanel, DesignState)
{
    EXPECT_EQ(form->size(), QSize(ui::twips(9840), ui::twips(9705)));
    EXPECT_EQ(colourOf(form), ui::kWindowColour);
    const std::pair<QString, const char*> texts[] = {
        {form->Frame1()->caption(), "Set Relays"},   {form->Frame3(2)->caption(), "Relays Status:"},
        {form->Frame2(0)->caption(), ""},            {form->Label1(0)->text(), " Config Digital Byte A   "},
        {form->Option1(1)->text(), "Byte A as Input"}, {form->Label9(0)->text(), "\"- Low\""},
        {form->Label9(4)->text(), "- Common to NC"}, {form->Command3(0)->toolTip(), "5 ms Pulse"},
    };
    for (const auto& [shown, expected] : texts)
        EXPECT_EQ(shown, expected);
    EXPECT_TRUE(form->Option2(0)->isChecked());
    EXPECT_FALSE(form->Frame7()->hasBorder());
    EXPECT_EQ(colourOf(form->Label444(1)), ui::kHigh);
    EXPECT_EQ(ui::textColourOf(*form->Label6()), ui::kNavy);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(form->Check1(i)->text(), QString::number(i));
        EXPECT_EQ(form->Check1(i)->geometry(), ui::twipsRect(240 + 600 * i, 480, 495, 495));
        EXPECT_EQ(form->Label4(i)->geometry(), ui::twipsRect(120 + 480 * i, 360, 375, 375));
    }
    EXPECT_EQ(form->Frame3(2)->geometry(), ui::twipsRect(5640, 2400, 3975, 975));
    EXPECT_FALSE(form->Command3(0)->isVisibleTo(form));
    EXPECT_EQ(form->Command3(0)->geometry(), ui::twipsRect(480, 4750, 495, 255));
}

}  // namespace
}  // namespace iox::testing
