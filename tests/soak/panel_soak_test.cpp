// The main and compact panels polled for many ticks and clicked at random, against
// simulated boxes that vanish and come back, go silent, answer late, have stale reports
// waiting and send garbage. Nothing may crash, no tick may outlast three exchange bounds
// (plus a margin for the machine), memory must not grow once warm, and every status label
// must show the bits that its poll read actually delivered.
//
// IOX_SOAK_TICKS sets the ticks per panel (5,000 by default), IOX_SOAK_SEED the seed.

#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <tuple>
#include <utility>

#include "panels/io4.h"
#include "tests/panels/panel_fixture.h"

// Bytes held on glibc's heap now. Under AddressSanitizer, whose allocator glibc does not see,
// the count stays flat; the normal build is the one that bounds growth.
static std::size_t liveHeapBytes() { return mallinfo2().uordblks; }

namespace iox::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto kBound = 3ms;  // exchange bound of both panels' device objects
// A tick waits at most three bounded exchanges; the slack is for a shared machine that stops
// the process for a while, and stays well below the 1 s of one unbounded exchange.
constexpr auto kTickLimit = 3 * kBound + 500ms;

std::uint64_t envNumber(const char* name, std::uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

// Faults chosen from the seed, so that a run can be repeated; each but the stale reports
// lasts a few ticks. Late answers come up to twice the bound late: some in time, some not.
class FaultInjector {
public:
    FaultInjector(sim::SimBackend& bus, std::uint64_t seed) : m_bus(bus), m_rng(std::make_shared<std::mt19937_64>(seed)) {}

    // One tick of a box: ends a fault that has run its course, or perhaps starts one.
    // True when the box has just come back after vanishing.
    bool step(std::size_t box)
    {
        auto& [kind, ticksLeft] = m_state[box];
        if (ticksLeft > 0) {
            if (--ticksLeft > 0)
                return false;
            m_bus.faults(box) = {};
            if (kind == kVanish)
                m_bus.reappear(box);
            return kind == kVanish;
        }
        if (pick(120) != 0)
            return false;
        kind = static_cast<int>(pick(5));
        ticksLeft = kind == kStale ? 0 : 2 + static_cast<int>(pick(20));
        ++total;
        sim::Faults& faults = m_bus.faults(box);
        if (kind == kVanish)
            m_bus.vanish(box);
        faults.silent = kind == kSilent;
        if (kind == kLate)
            faults.answerDelay = std::chrono::milliseconds(pick(2 * kBound.count() + 1));
        else if (kind == kGarbage)  // random answer bytes; now and then the code too, so no echo
            faults.mangle = [rng = m_rng](Report& answer) {
                for (std::size_t i = 2; i < answer.size(); ++i)
                    answer[i] = static_cast<std::uint8_t>((*rng)());
                if ((*rng)() % 4 == 0)
                    answer[1] = static_cast<std::uint8_t>((*rng)());
            };
        else  // stale reports, and with a silence or a vanishing too
            for (auto n = 1 + pick(3); n > 0; --n) {
                static constexpr std::uint8_t kCodes[] = {cmd::ReadByteA, cmd::ReadByteB, cmd::ReadRelaysByte,
                                                          cmd::SetRelay, cmd::SetTtlBit, 0};
                Report stale{0, kCodes[pick(std::size(kCodes))]};  // code 0: a random one
                for (std::size_t i = stale[1] ? 2 : 1; i < stale.size(); ++i)
                    stale[i] = static_cast<std::uint8_t>(pick(256));
                m_bus.queueStale(box, stale);
            }
        return false;
    }
    std::size_t total = 0;

private:
    enum { kVanish, kSilent, kLate, kStale, kGarbage };
    std::uint64_t pick(std::uint64_t n) { return (*m_rng)() % n; }

    sim::SimBackend& m_bus;
    std::shared_ptr<std::mt19937_64> m_rng;
    std::map<std::size_t, std::pair<int, int>> m_state;  // kind, ticks left
};

// One panel under test: its window, its status rows with the read each shows, its clicks.
struct Panel {
    const char* serial;
    std::size_t box;
    panels::PanelWindow* window;
    std::vector<std::tuple<std::function<QLabel*(int)>, int, std::uint8_t>> rows;  // labels, count, read code
    std::vector<QAbstractButton*> buttons;  // switches and direction options
    panels::SerialOutFrame* frame;
    std::chrono::nanoseconds longestTick{0};
    std::string firstMismatch{};
    std::map<std::uint8_t, std::uint8_t> delivered{};  // by its last poll's reads, by read code
};

// Every status label shows the bit that its read delivered at the panel's last poll.
void checkLabels(Panel& panel, std::uint64_t tick)
{
    for (const auto& [label, count, code] : panel.rows)
        for (int i = 0; i < count; ++i)
            if (ui::backgroundOf(*label(i)) != ((panel.delivered[code] >> i) & 1 ? ui::kHigh : ui::kLow) &&
                panel.firstMismatch.empty())
                panel.firstMismatch = "tick " + std::to_string(tick) + ": line " + std::to_string(i) + " of read " +
                                      std::to_string(code) + " against " + std::to_string(panel.delivered[code]);
}

// A random switch, direction option, serial-frame send or pulse-width setting.
void click(Panel& panel, std::mt19937_64& rng)
{
    static const char* const kWidths[] = {"10", "255", "300", "-5", "1e9", "&HF", "abc", ""};
    static const char* const kWords[] = {"101011", "", "1111000011110000", "10x1", "0"};
    const std::size_t choice = rng() % (panel.buttons.size() + 2);
    if (choice < panel.buttons.size())
        return panel.buttons[choice]->click();
    if (choice > panel.buttons.size()) {
        panel.frame->Text2()->setText(QString::fromLatin1(kWidths[rng() % std::size(kWidths)]));
        return panel.frame->Command2()->click();
    }
    for (int i = 0; i < 3; ++i)
        if (QComboBox* list = panel.frame->Combo1(i); list->count() > 0)
            list->setCurrentIndex(static_cast<int>(rng() % static_cast<std::uint64_t>(list->count())));
    panel.frame->Text1()->setText(QString::fromLatin1(kWords[rng() % std::size(kWords)]));
    panel.frame->Command1()->click();
}

using PanelSoak = LoadedPanel;

TEST_F(PanelSoak, PanelsStayResponsiveTrueAndBoundedUnderRandomFaults)
{
    const std::uint64_t seed = envNumber("IOX_SOAK_SEED", std::random_device{}());
    const std::uint64_t ticks = envNumber("IOX_SOAK_TICKS", 5000);
    std::printf("soak: IOX_SOAK_SEED=%llu repeats this run\n", static_cast<unsigned long long>(seed));
    std::mt19937_64 rng(seed);

    // The main panel on the model-C box; the compact panel on another, with its own connection.
    const std::size_t compact = addBox("IOX-MODEL-B", "20002");
    panels::IO4* io4 = panels::openCompactPanel(QStringLiteral("20002"), QStringLiteral("IO4"));
    ASSERT_TRUE(io4 && session::sharedDevice().isConnected() && io4->device().isConnected());
    std::vector<Panel> panels(2);
    panels[0] = {"10001", box, form,
                 {{[this](int i) { return form->Label2(i); }, 8, cmd::ReadByteA},
                  {[this](int i) { return form->Label3(i); }, 8, cmd::ReadByteB},
                  {[this](int i) { return form->Label4(i); }, 8, cmd::ReadRelaysByte}},
                 {form->Option1(0), form->Option1(1), form->Option2(0), form->Option2(1)}, form->Frame6()};
    for (int i = 0; i < 8; ++i)
        panels[0].buttons.insert(panels[0].buttons.end(), {form->Check1(i), form->Check2(i), form->Check3(i)});
    panels[1] = {"20002", compact, io4,
                 {{[io4](int i) { return io4->Label3(i); }, 4, cmd::ReadByteB},
                  {[io4](int i) { return io4->Label4(i); }, 2, cmd::ReadRelaysByte}},
                 {io4->Check1(0), io4->Check1(1)}, io4->Frame6()};
    for (int i = 0; i < 4; ++i)
        panels[1].buttons.push_back(io4->Check3(i));
    for (const Panel& panel : panels) {
        panel.window->Timer1()->stop();  // the soak calls the polls itself, one at a time
        panel.window->device().setExchangeTimeout(kBound);
    }

    // What each poll read actually delivered, seen on the bus: the data byte of the first
    // report that echoed the read's request, or 0 when none did. Clicks send no reads.
    std::map<std::uint8_t, std::uint8_t>* delivered = &panels[0].delivered;
    std::uint8_t pending = 0;  // the request awaiting its echo; 0 once answered
    watch = [&](boxes::Direction direction, const std::string&, const Report& report) {
        if (direction == boxes::Direction::Out)
            pending = report[1];
        else if (pending != 0 && report[1] == pending)
            (*delivered)[std::exchange(pending, 0)] = report[2];
    };

    FaultInjector faults(bus, seed);
    const std::uint64_t warmUp = std::max<std::uint64_t>(ticks / 5, 200);
    std::size_t heapAtWarmUp = 0, sendsAfterWarmUp = 0;
    for (std::uint64_t t = 0; t < ticks; ++t) {
        for (Panel& panel : panels) {
            if (faults.step(panel.box)) {
                panel.window->device().Disconnect();
                panel.window->device().Connect(panel.serial);
            }
            delivered = &panel.delivered;
            delivered->clear();
            pending = 0;
            const auto before = std::chrono::steady_clock::now();
            panel.window->Timer1_Timer();
            panel.longestTick = std::max(panel.longestTick, std::chrono::steady_clock::now() - before);
            checkLabels(panel, t);
        }
        // About one click per twenty ticks, on either panel. A click never touches the
        // status labels; the next tick catches up.
        if (rng() % 20 == 0) {
            Panel& panel = panels[rng() % panels.size()];
            const std::size_t sendsBefore = bus.box(panel.box).spiWords().size();
            click(panel, rng);
            checkLabels(panel, t);
            if (t >= warmUp)
                sendsAfterWarmUp += bus.box(panel.box).spiWords().size() - sendsBefore;
        }
        // What the test harness itself keeps must not count as growth.
        if (t % 128 == 0 || t + 1 == warmUp || t + 1 == ticks) {
            bus.clearLog();
            services.events.clear();
            services.messages.clear();
        }
        if (t + 1 == warmUp)
            heapAtWarmUp = liveHeapBytes();
    }
    watch = {};
    const std::size_t heapAtEnd = liveHeapBytes();

    for (const Panel& panel : panels) {
        EXPECT_EQ(panel.firstMismatch, "") << "the panel on " << panel.serial;
        EXPECT_LE(panel.longestTick, kTickLimit) << "the panel on " << panel.serial;
    }
    EXPECT_GT(faults.total, 0u);
    // Slack for allocator and Qt caches, plus what the simulated boxes keep of each word
    // sent to them (they record every word, as a real box's wire would show it).
    const std::size_t slack = 256 * 1024 + sendsAfterWarmUp * 1024;
    EXPECT_LE(heapAtEnd, heapAtWarmUp + slack) << "grown by " << (heapAtEnd - heapAtWarmUp) << " bytes";
}

}  // namespace
}  // namespace iox::testing
