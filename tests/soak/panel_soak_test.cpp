// The main and compact panels polled for many ticks and clicked at random, against
// simulated boxes that vanish and come back, go silent, answer late, have stale reports
// waiting and send garbage. Nothing may crash, no tick may outlast three exchange bounds
// (plus a margin for the machine), memory must not grow once warm, and every status label
// must show the bits that its poll read actually delivered.
//
// IOX_SOAK_TICKS sets the ticks per panel (5,000 by default), IOX_SOAK_SEED the seed.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "panels/io4.h"
#include "panels/main_panel.h"
#include "panels/main_window.h"
#include "panels/panel_parts.h"
#include "panels/test_form.h"
#include "session/session.h"
#include "tests/panels/panel_fixture.h"
#include "tests/soak/fault_injector.h"
#include "tests/soak/heap_usage.h"
#include "tests/soak/read_tracker.h"

namespace iox::testing {
namespace {

using namespace std::chrono_literals;
using panels::IO4;
using panels::TestForm;

constexpr auto kBound = 3ms;  // exchange bound of both panels' device objects
constexpr auto kTickLimit = 3 * kBound + 200ms;

std::uint64_t envNumber(const char* name, std::uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

class PanelSoak : public PanelTest {
protected:
    // One panel under test: its poll, its labels and the bytes they show, its clicks.
    struct Panel {
        const char* name;
        std::size_t box;
        std::string serial;
        USB_IO* io;
        std::function<void()> tick;
        struct Row {
            const char* name;
            std::vector<QLabel*> labels;
            std::uint8_t ReadTracker::*byte;
        };
        std::vector<Row> rows;
        std::vector<QAbstractButton*> buttons;  // switches and direction options
        panels::SerialOutFrame* frame;
        std::chrono::nanoseconds longestTick{0};
        std::size_t ticks = 0, clicks = 0, reconnects = 0, mismatches = 0;
        std::string firstMismatch;
    };

    static std::vector<QLabel*> labels(std::function<QLabel*(int)> at, int n)
    {
        std::vector<QLabel*> out;
        for (int i = 0; i < n; ++i)
            out.push_back(at(i));
        return out;
    }

    std::vector<QColor> coloursOf(const Panel& panel) const
    {
        std::vector<QColor> out;
        for (const auto& row : panel.rows)
            for (QLabel* label : row.labels)
                out.push_back(colourOf(label));
        return out;
    }

    void checkColours(Panel& panel, const ReadTracker& read, std::size_t tick)
    {
        for (const auto& row : panel.rows) {
            const std::uint8_t value = read.*row.byte;
            for (std::size_t i = 0; i < row.labels.size(); ++i) {
                const QColor expected = (value >> i) & 1 ? ui::kHigh : ui::kLow;
                if (colourOf(row.labels[i]) == expected)
                    continue;
                if (panel.mismatches++ == 0)
                    panel.firstMismatch = std::string(panel.name) + " tick " + std::to_string(tick) + ": " +
                                          row.name + "(" + std::to_string(i) + ") against the byte " +
                                          std::to_string(value) + " read";
            }
        }
    }

    void click(Panel& panel, std::mt19937_64& rng)
    {
        static const char* const kWidths[] = {"10", "255", "300", "-5", "1e9", "&HF", "abc", ""};
        static const char* const kWords[] = {"101011", "", "1111000011110000", "10x1", "0"};
        const std::size_t choices = panel.buttons.size() + 2;
        const std::size_t choice = rng() % choices;
        if (choice < panel.buttons.size()) {
            panel.buttons[choice]->click();
        } else if (choice == panel.buttons.size()) {
            for (int i = 0; i < 3; ++i) {
                QComboBox* list = panel.frame->Combo1(i);
                if (list->count() > 0)
                    list->setCurrentIndex(static_cast<int>(rng() % static_cast<std::uint64_t>(list->count())));
            }
            panel.frame->Text1()->setText(QString::fromLatin1(kWords[rng() % std::size(kWords)]));
            panel.frame->Command1()->click();
        } else {
            panel.frame->Text2()->setText(QString::fromLatin1(kWidths[rng() % std::size(kWidths)]));
            panel.frame->Command2()->click();
        }
        ++panel.clicks;
    }

    void reconnect(Panel& panel)
    {
        panel.io->Disconnect();
        panel.io->Connect(panel.serial);
        ++panel.reconnects;
    }
};

TEST_F(PanelSoak, PanelsStayResponsiveTrueAndBoundedUnderRandomFaults)
{
    const std::uint64_t seed = envNumber("IOX_SOAK_SEED", std::random_device{}());
    const std::uint64_t ticks = envNumber("IOX_SOAK_TICKS", 5000);
    std::printf("soak seed %llu (IOX_SOAK_SEED=%llu repeats this run), %llu ticks per panel\n",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(ticks));
    std::mt19937_64 rng(seed);

    // The main panel on one box; the compact panel on another, with its own connection.
    const std::size_t full = addBox("IOX-MODEL-C", "10001");
    TestForm* form = panels::loadMainPanel();
    ASSERT_NE(form, nullptr);
    const std::size_t compact = addBox("IOX-MODEL-B", "20002");
    IO4* io4 = panels::openCompactPanel(QStringLiteral("20002"), QStringLiteral("IO4"));
    ASSERT_NE(io4, nullptr);
    ASSERT_TRUE(session::sharedDevice().isConnected() && io4->device().isConnected());
    // The soak calls the polls itself, one at a time.
    form->Timer1()->stop();
    io4->Timer1()->stop();
    session::sharedDevice().setExchangeTimeout(kBound);
    io4->device().setExchangeTimeout(kBound);

    std::vector<Panel> panels(2);
    Panel& main = panels[0];
    main.name = "TestForm";
    main.box = full;
    main.serial = "10001";
    main.io = &session::sharedDevice();
    main.tick = [form] { form->Timer1_Timer(); };
    main.rows = {{"Label2", labels([form](int i) { return form->Label2(i); }, 8), &ReadTracker::a},
                 {"Label3", labels([form](int i) { return form->Label3(i); }, 8), &ReadTracker::b},
                 {"Label4", labels([form](int i) { return form->Label4(i); }, 8), &ReadTracker::relays}};
    for (int i = 0; i < 8; ++i)
        main.buttons.insert(main.buttons.end(), {form->Check1(i), form->Check2(i), form->Check3(i)});
    for (int i = 0; i < 2; ++i)
        main.buttons.insert(main.buttons.end(), {form->Option1(i), form->Option2(i)});
    main.frame = form->Frame6();

    Panel& small = panels[1];
    small.name = "IO4";
    small.box = compact;
    small.serial = "20002";
    small.io = &io4->device();
    small.tick = [io4] { io4->Timer1_Timer(); };
    small.rows = {{"Label3", labels([io4](int i) { return io4->Label3(i); }, 4), &ReadTracker::b},
                  {"Label4", labels([io4](int i) { return io4->Label4(i); }, 2), &ReadTracker::relays}};
    small.buttons = {io4->Check1(0), io4->Check1(1)};
    for (int i = 0; i < 4; ++i)
        small.buttons.push_back(io4->Check3(i));
    small.frame = io4->Frame6();

    FaultInjector faults(bus, seed, kBound);
    ReadTracker read(bus);
    const std::uint64_t warmUp = std::max<std::uint64_t>(ticks / 5, 200);
    std::size_t heapAtWarmUp = 0, sendsAfterWarmUp = 0, labelChangesByClicks = 0;
    const auto started = std::chrono::steady_clock::now();

    for (std::uint64_t t = 0; t < ticks; ++t) {
        for (Panel& panel : panels) {
            if (faults.step(panel.box))
                reconnect(panel);
            read.reset();
            const auto before = std::chrono::steady_clock::now();
            panel.tick();
            panel.longestTick = std::max(panel.longestTick, std::chrono::steady_clock::now() - before);
            ++panel.ticks;
            checkColours(panel, read, t);
        }
        // About one click per twenty ticks, on either panel. A click never touches the
        // status labels; the next tick catches up.
        if (rng() % 20 == 0) {
            Panel& panel = panels[rng() % panels.size()];
            const auto shown = coloursOf(panel);
            const std::size_t sendsBefore = bus.box(panel.box).spiWords().size();
            click(panel, rng);
            if (coloursOf(panel) != shown)
                ++labelChangesByClicks;
            if (t >= warmUp)
                sendsAfterWarmUp += bus.box(panel.box).spiWords().size() - sendsBefore;
        }
        // What the test harness itself keeps must not count as growth.
        if (t % 128 == 0) {
            bus.clearLog();
            services.events.clear();
            services.messages.clear();
            services.sleeps.clear();
        }
        if (t + 1 == warmUp)
            heapAtWarmUp = liveHeapBytes();
    }
    bus.clearLog();
    services.events.clear();
    services.messages.clear();
    services.sleeps.clear();
    const std::size_t heapAtEnd = liveHeapBytes();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    std::printf("soak: %.1f s, %zu faults injected:", seconds, faults.total());
    for (int k = 0; k < FaultInjector::kKinds; ++k)
        std::printf(" %s %zu", FaultInjector::kNames[k], faults.counts()[static_cast<std::size_t>(k)]);
    std::printf("\n");
    for (const Panel& panel : panels)
        std::printf("soak: %s %zu ticks, %zu clicks, %zu reconnections, longest tick %.1f ms\n", panel.name,
                    panel.ticks, panel.clicks, panel.reconnects,
                    std::chrono::duration<double, std::milli>(panel.longestTick).count());
    std::printf("soak: heap %zu bytes after warm-up, %zu at the end\n", heapAtWarmUp, heapAtEnd);

    for (const Panel& panel : panels) {
        EXPECT_EQ(panel.mismatches, 0u) << panel.firstMismatch;
        EXPECT_LE(panel.longestTick, kTickLimit) << panel.name;
    }
    EXPECT_EQ(labelChangesByClicks, 0u);
    EXPECT_GT(faults.total(), 0u);
    // Slack for allocator and Qt caches, plus what the simulated boxes keep of each word
    // sent to them (they record every word, as a real box's wire would show it).
    const std::size_t slack = 256 * 1024 + sendsAfterWarmUp * 1024;
    EXPECT_LE(heapAtEnd, heapAtWarmUp + slack) << "grown by " << (heapAtEnd - heapAtWarmUp) << " bytes";
}

}  // namespace
}  // namespace iox::testing
