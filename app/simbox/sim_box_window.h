#pragma once
// iox-demo's "Simulated box" window: one page per simulated box, refreshed from the boxes'
// state on a timer (a simulated box has no change notification of its own).
//
// Its controls by role:
//   tabs                one BoxPage per box, titled "serial (model)"; the tab bar hides
//                       itself for a single box
//   on each page        identity and state labels, the fault switches, the port rows
//                       (lineButton), the relay indicators, pulses and the serial word
//   refresh             timer, every kRefreshInterval

#include <QWidget>

#include <chrono>
#include <vector>

class QTabWidget;
class QTimer;

namespace iox::sim {
class SimBackend;
}

namespace iox::simbox {

class BoxPage;

inline constexpr char kSimBoxWindowTitle[] = "Simulated box";
inline constexpr std::chrono::milliseconds kRefreshInterval{50};

class SimBoxWindow : public QWidget {
public:
    // One page for each box the backend holds now; the timer runs from construction.
    explicit SimBoxWindow(sim::SimBackend& bus, QWidget* parent = nullptr);

    // Reads the shown box's state into its page (the timer's tick).
    void refresh();

    int pageCount() const;
    BoxPage* page(int index) const;
    QTabWidget* tabs() const { return m_tabs; }
    QTimer* timer() const { return m_timer; }

    // Puts the window at the top right of its screen, clear of the centred panel.
    void placeBesidePanel();

private:
    std::vector<BoxPage*> m_pages;
    QTabWidget* m_tabs = nullptr;
    QTimer* m_timer = nullptr;
};

}  // namespace iox::simbox
