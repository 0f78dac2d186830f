#pragma once
// The behaviour of one simulated box: the state its commands imply and the answer it gives
// to each request, in application mode and, after a reset with the update flag, in its
// bootloader. Transport effects (delays, vanishing, stale reports) are SimBackend's.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "../hid_backend.h"

namespace iox::sim {

struct BoxConfig {
    std::string model = "IOX-MODEL-C";
    std::string serial = "10001";
    // Answer bytes 2 to 7 of GetExtFirmware: level, three more bytes, two revision characters.
    std::array<std::uint8_t, 6> firmware{3, 1, 0, 0, 'A', '3'};
};

struct SpiWord {
    std::string clock, data, le;  // line names as the request encoded them, e.g. "B0"
    std::vector<std::uint8_t> bits;
    bool triggered = false;  // sent with SPI_OUT_Trigg (box's own lines)
    bool trigger = false;
};

struct Pulse {
    std::string line;
    std::uint8_t ms;
};

class SimBox {
public:
    explicit SimBox(BoxConfig config);

    const BoxConfig& config() const { return m_config; }
    BoxConfig& config() { return m_config; }

    // The answer to one output report, or nothing when the box would not answer it.
    std::optional<Report> answer(const Report& request);

    // Port state. Bit i of a byte is line i.
    bool portAIsOutput() const { return m_portAOutput; }
    bool portBIsOutput() const { return m_portBOutput; }
    std::uint8_t drivenA() const { return m_drivenA; }
    std::uint8_t drivenB() const { return m_drivenB; }
    std::uint8_t relays() const { return m_relays; }
    std::uint8_t pulseWidth() const { return m_pulseWidth; }
    // Levels that the outside world applies to lines of a port set as input.
    void setInputA(std::uint8_t levels) { m_inputA = levels; }
    void setInputB(std::uint8_t levels) { m_inputB = levels; }
    // What a read of the port reports: the driven levels of an output port, else the inputs.
    std::uint8_t levelA() const { return m_portAOutput ? m_drivenA : m_inputA; }
    std::uint8_t levelB() const { return m_portBOutput ? m_drivenB : m_inputB; }
    const std::vector<SpiWord>& spiWords() const { return m_spiWords; }
    const std::vector<Pulse>& pulses() const { return m_pulses; }

    // Bootloader. After ResetCPU with the update flag set, the box leaves its application
    // firmware; SimBackend makes it vanish and come back in bootloader mode.
    bool updateFlagSet() const { return m_updateFlag; }
    bool inBootloader() const { return m_inBootloader; }
    void enterBootloader()
    {
        m_inBootloader = true;
        m_lines.clear();
    }
    void leaveBootloader()
    {
        m_inBootloader = false;
        m_updateFlag = false;
    }
    // Image lines received by the bootloader since it was last entered, as sent.
    const std::vector<std::string>& bootloaderLines() const { return m_lines; }
    // Status the bootloader answers to a line: default 'O', and 'F' for the end-of-file
    // record. A test may choose another rule (for example a failure at the n-th line).
    void setLineAnswer(std::function<std::uint8_t(const std::string& line, std::size_t index)> rule)
    {
        m_lineAnswer = std::move(rule);
    }

private:
    std::optional<Report> applicationAnswer(const Report& request);
    std::optional<Report> bootloaderAnswer(const Report& request);
    void setLine(std::uint8_t port, std::uint8_t bit, bool high);

    BoxConfig m_config;
    bool m_portAOutput = true;
    bool m_portBOutput = true;
    std::uint8_t m_drivenA = 0, m_drivenB = 0, m_inputA = 0, m_inputB = 0;
    std::uint8_t m_relays = 0;
    std::uint8_t m_pulseWidth = 10;
    std::vector<SpiWord> m_spiWords;
    std::vector<Pulse> m_pulses;
    bool m_updateFlag = false;
    bool m_inBootloader = false;
    std::vector<std::string> m_lines;
    std::function<std::uint8_t(const std::string&, std::size_t)> m_lineAnswer;
};

}  // namespace iox::sim
