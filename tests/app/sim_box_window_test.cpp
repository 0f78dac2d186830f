// The "Simulated box" window: it shows what the box does after the panel's commands, and
// its input switches reach the main panel's status row. The serial word's waveform: what a
// receiver clocking on rising edges and latching on LE would read back from the three lines.

#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>

#include "app/simbox/box_page.h"
#include "app/simbox/sim_box_window.h"
#include "app/simbox/spi_diagram.h"
#include "app/simbox/spi_waveform.h"
#include "tests/panels/panel_fixture.h"

namespace iox::testing {
namespace {

using simbox::BoxPage;
using simbox::kPortA;
using simbox::kPortB;
using simbox::SimBoxWindow;
using simbox::SpiWaveform;
using simbox::spiWaveform;

// A main panel over one box, with the window beside it.
class SimWindow : public LoadedPanel {
protected:
    void SetUp() override
    {
        LoadedPanel::SetUp();
        window = std::make_unique<SimBoxWindow>(bus);
        ASSERT_EQ(window->pageCount(), 1);
        page = window->page(0);
    }
    QLabel* statusOf(int port, int bit) const { return port == kPortA ? form->Label2(bit) : form->Label3(bit); }
    QRadioButton* option(int port, bool input) const { return port == kPortA ? form->Option1(input) : form->Option2(input); }

    std::unique_ptr<SimBoxWindow> window;
    BoxPage* page = nullptr;
};

TEST_F(SimWindow, ShowsTheBoxIdleThenWhatThePanelsCommandsDidToItAndItsFaultSwitchesActOnIt)
{
    EXPECT_TRUE(window->timer()->isActive());
    EXPECT_EQ(page->modelLabel()->text() + page->serialLabel()->text() + page->firmwareLabel()->text() +
                  page->stateLabel()->text() + page->directionLabel(kPortA)->text() + page->directionLabel(kPortB)->text(),
              "IOX-MODEL-C10001A3 (level 3)runningoutputoutput");
    EXPECT_EQ(page->pulseWidthLabel()->text() + page->pulsesLabel()->text() + page->wordLabel()->text(),
              QString::fromUtf8("10 \u00b5snone yetnone yet"));
    EXPECT_FALSE(page->diagram()->hasWord());

    // Relays and output lines switched on the panel light up here, and go out again.
    for (const char* lit : {"00010000 10000000 00000100", "00000000 00000000 00000000"}) {
        form->Check1(3)->click();
        form->Check2(0)->click();
        form->Check3(5)->click();
        window->refresh();
        EXPECT_EQ(levels([&](int i) { return page->relayIndicator(i); }) + " " +
                      levels([&](int i) { return page->lineButton(kPortA, i); }) + " " +
                      levels([&](int i) { return page->lineButton(kPortB, i); }),
                  lit);
    }

    // The pulse width, the newest pulses first, and the last serial word bit for bit on its lines.
    USB_IO& io = session::sharedDevice();
    std::int16_t width = 25;
    io.Set_SPI_PulseWidth(width);
    io.Set_TTLPulse("A0", 5);
    io.Set_TTLPulse("B3", 7);
    ASSERT_EQ(io.SPI_OUT("B0", "B1", "B2", "10110"), 1);
    window->refresh();
    EXPECT_EQ(page->pulseWidthLabel()->text(), QString::fromUtf8("25 \u00b5s"));
    EXPECT_EQ(page->pulsesLabel()->text(), "B3 7 ms, A0 5 ms");
    EXPECT_EQ(page->wordLabel()->text(), "\"10110\", 5 bits, clock B0, data B1, LE B2");
    ASSERT_TRUE(page->diagram()->hasWord());
    EXPECT_EQ(page->diagram()->waveform().bits, (std::vector<std::uint8_t>{1, 0, 1, 1, 0}));
    EXPECT_EQ(page->diagram()->lineNames(), (std::array<QString, 3>{"B0", "B1", "B2"}));

    for (int i = 1; i <= 6; ++i)
        io.Set_TTLPulse("A" + std::to_string(i), static_cast<std::int16_t>(i));
    ASSERT_EQ(io.SPI_OUT("A4", "A5", "A6", "0001") + io.SPI_OUT_Trigg("11", 1), 2);
    window->refresh();
    EXPECT_EQ(page->pulsesLabel()->text(), "A6 6 ms, A5 5 ms, A4 4 ms, A3 3 ms, A2 2 ms, A1 1 ms  (8 in all)");
    EXPECT_EQ(page->diagram()->waveform().bits, (std::vector<std::uint8_t>{1, 1}));
    EXPECT_EQ(page->diagram()->lineNames(), (std::array<QString, 3>{"", "", ""}));
    EXPECT_EQ(page->wordLabel()->text(), "\"11\", 2 bits, on the box's own lines, trigger on  (3 words sent)");

    // The fault switches unplug, silence or delay the box.
    using simbox::Fault;
    page->faultButton(Fault::Silent)->click();
    EXPECT_TRUE(bus.faults(box).silent);
    page->faultButton(Fault::Unplugged)->click();
    EXPECT_FALSE(bus.present(box) || bus.faults(box).silent);
    QString states = page->stateLabel()->text() + "|";
    page->lateDelay()->setValue(40);
    page->faultButton(Fault::Late)->click();
    EXPECT_FALSE(bus.faults(box).silent);
    states += page->stateLabel()->text() + "|";
    page->faultButton(Fault::Normal)->click();
    EXPECT_EQ(bus.faults(box).answerDelay.count(), 0);
    EXPECT_EQ(states + page->stateLabel()->text(), "unplugged|running, answering 40 ms late|running");
}

TEST_F(SimWindow, AnInputLineSwitchedHereReachesThePanelsStatusRowOnItsNextTick)
{
    for (const int port : {kPortA, kPortB}) {
        SCOPED_TRACE(port == kPortA ? "port A" : "port B");
        option(port, true)->click();
        window->refresh();
        EXPECT_EQ(page->directionLabel(port)->text(), "input");
        QPushButton* line = page->lineButton(port, 2);
        ASSERT_TRUE(line->isEnabled());

        line->click();
        // The switch shows its level at once, the panel on its tick.
        EXPECT_EQ((std::pair{colourOf(line), colourOf(statusOf(port, 2))}), (std::pair{ui::kHigh, ui::kLow}));
        form->Timer1_Timer();
        EXPECT_EQ(levels([&](int bit) { return statusOf(port, bit); }), "00100000");

        line->click();
        form->Timer1_Timer();
        EXPECT_EQ(colourOf(statusOf(port, 2)), ui::kLow);
    }
    // A switch clicked after the port turned to output, before the window caught up, changes nothing.
    option(kPortB, false)->click();
    page->lineButton(kPortB, 4)->click();
    EXPECT_FALSE(page->lineButton(kPortB, 4)->isEnabled() || colourOf(page->lineButton(kPortB, 4)) != ui::kLow);
    option(kPortB, true)->click();
    EXPECT_EQ(bus.box(box).levelB(), 0);  // the box's inputs were left alone
}

// Several boxes, no panel: one tab each, and each tab's switches reach its own box.
using SimWindowOfSeveralBoxes = PanelTest;

TEST_F(SimWindowOfSeveralBoxes, HasATabPerBoxWhoseSwitchesReachOnlyItsOwnBox)
{
    const std::size_t first = addBox("IOX-MODEL-C", "10001");
    const std::size_t second = addBox("IOX-MODEL-D", "20001");
    bus.box(second).answer(Report{0, cmd::SetByteAAsInput});
    SimBoxWindow window(bus);
    ASSERT_EQ(window.pageCount(), 2);
    EXPECT_EQ(window.tabs()->tabText(0) + window.tabs()->tabText(1), "10001 (IOX-MODEL-C)20001 (IOX-MODEL-D)");
    EXPECT_FALSE(window.tabs()->tabBar()->isHidden());

    window.tabs()->setCurrentIndex(1);  // refreshes the page now shown
    BoxPage* page = window.page(1);
    EXPECT_EQ(page->directionLabel(kPortA)->text(), "input");
    page->lineButton(kPortA, 7)->click();
    EXPECT_EQ(bus.box(first).levelA() * 256 + bus.box(second).levelA(), 0x80);
    EXPECT_FALSE(window.page(0)->lineButton(kPortA, 7)->isEnabled());
}

TEST(SpiWaveform, AReceiverReadsBackEveryBitThenALatch)
{
    // Any non-zero digit drives the line high.
    for (const auto& [word, readBack] : std::vector<std::pair<std::string, std::string>>{
             {"10110", "10110"}, {"", ""}, {"0000", "0000"}, {"2090", "1010"}, {std::string(56, '1'), std::string(56, '1')}}) {
        std::vector<std::uint8_t> digits(word.begin(), word.end());
        for (std::uint8_t& digit : digits)
            digit -= '0';
        const SpiWaveform w = spiWaveform(digits);
        SCOPED_TRACE("word \"" + word + "\"");
        ASSERT_EQ(w.steps(), 2 * word.size() + 4);
        ASSERT_EQ(w.data.size() + w.le.size(), 2 * w.steps());
        EXPECT_EQ(w.bits, digits);

        std::string sampled;  // the data line's level at each rising clock edge
        std::size_t lastClockHigh = 0, firstLatch = w.steps(), latchSteps = 0;
        for (std::size_t i = 0; i < w.steps(); ++i) {
            if (w.clock[i]) {
                lastClockHigh = i;
                EXPECT_FALSE(w.le[i]) << "LE must stay low while the word shifts, step " << i;
                ASSERT_GT(i, 0u) << "the clock must start low";
                EXPECT_EQ(w.data[i], w.data[i - 1]) << "data must be set up before the edge, step " << i;
                if (!w.clock[i - 1])
                    sampled += w.data[i] ? '1' : '0';
            }
            if (w.le[i]) {
                firstLatch = std::min(firstLatch, i);
                ++latchSteps;
            }
        }
        EXPECT_EQ(sampled, readBack);
        EXPECT_EQ(latchSteps, 2u);  // a whole clock period
        EXPECT_GT(firstLatch, lastClockHigh);
        // Every line rests low at both ends.
        for (const auto* line : {&w.clock, &w.data, &w.le})
            EXPECT_FALSE(line->front() || line->back());
    }
}

}  // namespace
}  // namespace iox::testing
