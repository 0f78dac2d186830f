#pragma once
// What one simulated box is doing, on one page: identity, port directions and line levels,
// relays, pulse width, the last pulses and the last serial word. Lines of a port set as
// input are switches: they stand for what the outside world applies to the box. Fault
// switches make the box unplugged, silent or late to answer, and normal again.
//
// Its controls by role:
//   identity            modelLabel, serialLabel, firmwareLabel, stateLabel
//   faults              faultButton(Fault) one of four, lateDelay the late answers' delay
//   ports               directionLabel(port), lineButton(port, bit): input switches, or
//                       the levels an output port drives
//   relays              relayIndicator(0..7)
//   output              pulseWidthLabel, pulsesLabel, wordLabel and its diagram

#include <QWidget>

#include <array>
#include <cstddef>
#include <cstdint>

class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace iox::sim {
class SimBackend;
}

namespace iox::simbox {

class SpiDiagram;

// Ports by index: 0 is port A, 1 is port B.
inline constexpr int kPortA = 0;
inline constexpr int kPortB = 1;
// How many of the most recent pulses the page lists.
inline constexpr std::size_t kPulsesShown = 6;

// What the box does with requests: answers them, is gone from the bus, takes them without
// answering, or answers each one late.
enum class Fault { Normal, Unplugged, Silent, Late };

class BoxPage : public QWidget {
public:
    BoxPage(sim::SimBackend& bus, std::size_t box, QWidget* parent = nullptr);

    // Reads the box's state into the page.
    void refresh();

    // ---- controls ----
    QLabel* modelLabel() const { return m_model; }
    QLabel* serialLabel() const { return m_serial; }
    QLabel* firmwareLabel() const { return m_firmware; }
    QLabel* stateLabel() const { return m_state; }
    QLabel* directionLabel(int port) const { return m_direction.at(static_cast<std::size_t>(port)); }
    QPushButton* lineButton(int port, int bit) const
    {
        return m_lines.at(static_cast<std::size_t>(port)).at(static_cast<std::size_t>(bit));
    }
    QLabel* relayIndicator(int relay) const { return m_relays.at(static_cast<std::size_t>(relay)); }
    QLabel* pulseWidthLabel() const { return m_pulseWidth; }
    QLabel* pulsesLabel() const { return m_pulses; }
    QLabel* wordLabel() const { return m_word; }
    SpiDiagram* diagram() const { return m_diagram; }
    QRadioButton* faultButton(Fault fault) const { return m_faults.at(static_cast<std::size_t>(fault)); }
    QSpinBox* lateDelay() const { return m_lateDelay; }

private:
    // construction
    void buildControls();
    QWidget* buildPortRow(int port);
    QWidget* buildRelayRow();
    QWidget* buildFaultRow();

    // handlers
    void inputLineClicked(int port, int bit, bool high);
    void applyFault();

    // state to screen
    void refreshPort(int port);
    void refreshRelays();
    void refreshPulses();
    void refreshWord();

    sim::SimBackend& m_bus;
    std::size_t m_box;
    std::size_t m_wordsShown = 0;

    QLabel* m_model = nullptr;
    QLabel* m_serial = nullptr;
    QLabel* m_firmware = nullptr;
    QLabel* m_state = nullptr;
    std::array<QLabel*, 2> m_direction{};
    std::array<std::array<QPushButton*, 8>, 2> m_lines{};
    std::array<QLabel*, 8> m_relays{};
    QLabel* m_pulseWidth = nullptr;
    QLabel* m_pulses = nullptr;
    QLabel* m_word = nullptr;
    SpiDiagram* m_diagram = nullptr;
    std::array<QRadioButton*, 4> m_faults{};
    QSpinBox* m_lateDelay = nullptr;
};

}  // namespace iox::simbox
