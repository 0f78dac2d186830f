// The main panel's switches, port directions, poll and design layout.

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "panel_fixture.h"
#include "panels/main_panel.h"
#include "panels/panel_parts.h"
#include "panels/test_form.h"

namespace iox::testing {
namespace {

using panels::TestForm;

class MainPanel : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        box = addBox("IOX-MODEL-C", "10001");
        form = panels::loadMainPanel();
        ASSERT_NE(form, nullptr);
        bus.clearLog();
    }
    std::size_t box = 0;
    TestForm* form = nullptr;
};

// ---- switches ----------------------------------------------------------------------------

TEST_F(MainPanel, RelayFiveOnSendsSetRelayAndTurnsGreenThenItsStatusFollowsOnTheTick)
{
    form->Check1(5)->click();
    EXPECT_EQ(requests(), Requests({"Relay 5 1"}));
    EXPECT_EQ(colourOf(form->Check1(5)), ui::kHigh);
    EXPECT_EQ(colourOf(form->Label4(5)), ui::kLow);  // the status row catches up on the tick
    form->Timer1_Timer();
    EXPECT_EQ(colourOf(form->Label4(5)), ui::kHigh);
    EXPECT_EQ(colourOf(form->Label4(4)), ui::kLow);
}

TEST_F(MainPanel, PortBLineZeroOffSendsTtlZeroAndTurnsLightRed)
{
    form->Check3(0)->click();
    form->Check3(0)->click();
    EXPECT_EQ(requests(), Requests({"TTL B0 1", "TTL B0 0"}));
    EXPECT_EQ(colourOf(form->Check3(0)), ui::kLow);
}

TEST_F(MainPanel, PortALineThreeUsesItsLineName)
{
    form->Check2(3)->click();
    EXPECT_EQ(requests(), Requests({"TTL A3 1"}));
    EXPECT_EQ(colourOf(form->Check2(3)), ui::kHigh);
}

TEST_F(MainPanel, AValueSetByTheProgramRaisesTheHandlerOnlyWhenItChanges)
{
    form->Check1(2)->setChecked(false);  // already clear
    EXPECT_TRUE(requests().empty());
    form->Check1(2)->setChecked(true);
    form->Check1(2)->setChecked(true);
    EXPECT_EQ(requests(), Requests({"Relay 2 1"}));
}

// ---- directions --------------------------------------------------------------------------

TEST_F(MainPanel, PortAToInputClearsTheSetLinesFirstThenTurnsThePort)
{
    form->Check2(1)->click();
    form->Check2(6)->click();
    bus.clearLog();
    form->Option1(1)->click();
    EXPECT_EQ(requests(), Requests({"TTL A1 0", "TTL A6 0", "A-in"}));
    for (int i = 0; i < 8; ++i) {
        EXPECT_FALSE(form->Check2(i)->isChecked());
        EXPECT_FALSE(form->Check2(i)->isEnabled());
        EXPECT_EQ(colourOf(form->Check2(i)), ui::kLow);
    }
    EXPECT_FALSE(bus.box(box).portAIsOutput());
}

TEST_F(MainPanel, PortABackToOutputOnlyTurnsThePortAndEnablesTheBoxes)
{
    form->Check2(4)->click();
    form->Option1(1)->click();
    bus.clearLog();
    form->Option1(0)->click();
    EXPECT_EQ(requests(), Requests({"A-out"}));
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(form->Check2(i)->isEnabled());
        EXPECT_FALSE(form->Check2(i)->isChecked());
    }
}

TEST_F(MainPanel, PortBDirectionsMirrorPortA)
{
    form->Check3(7)->click();
    bus.clearLog();
    form->Option2(1)->click();
    EXPECT_EQ(requests(), Requests({"TTL B7 0", "B-in"}));
    EXPECT_FALSE(form->Check3(7)->isEnabled());
    bus.clearLog();
    form->Option2(0)->click();
    EXPECT_EQ(requests(), Requests({"B-out"}));
    EXPECT_TRUE(form->Check3(7)->isEnabled());
    form->Option2(0)->click();  // already selected: no change, no command
    EXPECT_EQ(requests(), Requests({"B-out"}));
}

// ---- poll ----------------------------------------------------------------------------------

TEST_F(MainPanel, ATickReadsTheThreeBytesInOrder)
{
    form->Timer1_Timer();
    EXPECT_EQ(requests(), Requests({"ReadA", "ReadB", "ReadRelays"}));
}

TEST_F(MainPanel, PortARead0x81ShowsLinesZeroAndSevenHigh)
{
    answerWith(box, cmd::ReadByteA, 0x81);
    form->Timer1_Timer();
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(colourOf(form->Label2(i)), i == 0 || i == 7 ? ui::kHigh : ui::kLow) << i;
}

TEST_F(MainPanel, ATickColoursEachRowFromItsOwnByte)
{
    answerWith(box, cmd::ReadByteA, 0x01);
    answerWith(box, cmd::ReadByteB, 0x02);
    answerWith(box, cmd::ReadRelaysByte, 0x80);
    form->Timer1_Timer();
    EXPECT_EQ(colourOf(form->Label2(0)), ui::kHigh);
    EXPECT_EQ(colourOf(form->Label3(0)), ui::kLow);
    EXPECT_EQ(colourOf(form->Label3(1)), ui::kHigh);
    EXPECT_EQ(colourOf(form->Label4(7)), ui::kHigh);
    EXPECT_EQ(colourOf(form->Label4(0)), ui::kLow);
    // The poll never touches the switches.
    EXPECT_EQ(colourOf(form->Check1(7)), ui::kLow);
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

// ---- design state and layout ------------------------------------------------------------

TEST_F(MainPanel, DesignStateMatchesTheTables)
{
    EXPECT_EQ(form->size(), QSize(ui::twips(9840), ui::twips(9705)));
    EXPECT_EQ(colourOf(form), ui::kWindowColour);
    EXPECT_EQ(form->Frame1()->caption(), "Set Relays");
    EXPECT_EQ(form->Frame4()->caption(), "Set Digital Byte A");
    EXPECT_EQ(form->Frame5()->caption(), "Set Digital Byte B");
    EXPECT_EQ(form->Frame3(0)->caption(), "Byte A Status:");
    EXPECT_EQ(form->Frame3(1)->caption(), "Byte B Status:");
    EXPECT_EQ(form->Frame3(2)->caption(), "Relays Status:");
    EXPECT_EQ(form->Frame2(0)->caption(), "");
    EXPECT_FALSE(form->Frame7()->hasBorder());
    EXPECT_EQ(form->Label1(0)->text(), " Config Digital Byte A   ");
    EXPECT_EQ(form->Label1(1)->text(), " Config Digital Byte B");
    EXPECT_EQ(form->Label44_0()->text(), "Set Output");
    EXPECT_EQ(form->Option1(0)->text(), "Byte A as Output");
    EXPECT_EQ(form->Option1(1)->text(), "Byte A as Input");
    EXPECT_EQ(form->Option2(0)->text(), "Byte B as Output");
    EXPECT_EQ(form->Option2(1)->text(), "Byte B as Input");
    EXPECT_TRUE(form->Option2(0)->isChecked());
    EXPECT_EQ(form->Label9(0)->text(), "\"- Low\"");
    EXPECT_EQ(form->Label9(1)->text(), "\"- High\"");
    EXPECT_EQ(form->Label9(3)->text(), "- Common to NO");
    EXPECT_EQ(form->Label9(4)->text(), "- Common to NC");
    EXPECT_EQ(form->Label9(5)->text(), "Relays Legend");
    EXPECT_EQ(form->Label9(2)->text(), "Digital Legend");
    EXPECT_EQ(colourOf(form->Label444(0)), ui::kLow);
    EXPECT_EQ(colourOf(form->Label444(1)), ui::kHigh);
    EXPECT_EQ(ui::textColourOf(*form->Label6()), ui::kNavy);
    EXPECT_EQ(form->Label5()->text(), "Model Name:");
    EXPECT_EQ(form->Label7()->text(), "Serial Number:");
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(form->Check1(i)->text(), QString::number(i));
        EXPECT_EQ(form->Check1(i)->geometry(), ui::twipsRect(240 + 600 * i, 480, 495, 495));
        EXPECT_TRUE(form->Check1(i)->isCheckable());
        EXPECT_EQ(form->Label4(i)->geometry(), ui::twipsRect(120 + 480 * i, 360, 375, 375));
        EXPECT_EQ(form->Label2(i)->text(), QString::number(i));
    }
    EXPECT_EQ(form->Frame3(2)->geometry(), ui::twipsRect(5640, 2400, 3975, 975));
    EXPECT_EQ(form->Label11()->geometry(), ui::twipsRect(8520, 1080, 495, 255));
}

TEST_F(MainPanel, ThePulseButtonIsHiddenAndItsHandlerSendsOnePulse)
{
    EXPECT_FALSE(form->Command3(0)->isVisibleTo(form));
    EXPECT_EQ(form->Command3(0)->text(), "pls-5");
    EXPECT_EQ(form->Command3(0)->toolTip(), "5 ms Pulse");
    EXPECT_EQ(form->Command3(0)->geometry(), ui::twipsRect(480, 4750, 495, 255));
    form->Command3_Click(0);
    EXPECT_EQ(requests(), Requests({"Pulse A0 5"}));
}

}  // namespace
}  // namespace iox::testing
