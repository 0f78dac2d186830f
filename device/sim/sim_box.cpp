#include "sim_box.h"

#include <algorithm>

#include "../commands.h"
#include "../wire.h"

namespace iox::sim {

namespace {

std::string lineName(std::uint8_t port, std::uint8_t bit)
{
    return std::string{static_cast<char>(port), static_cast<char>('0' + (bit % 10))};
}

void putText(Report& answer, const std::string& text)
{
    for (std::size_t i = 0; i < text.size() && 2 + i < answer.size(); ++i)
        answer[2 + i] = static_cast<std::uint8_t>(text[i]);
}

bool isLineStart(std::uint8_t c) { return c == ':' || c == ';'; }

}  // namespace

SimBox::SimBox(BoxConfig config) : m_config(std::move(config)) {}

std::optional<Report> SimBox::answer(const Report& request)
{
    return m_inBootloader ? bootloaderAnswer(request) : applicationAnswer(request);
}

void SimBox::setLine(std::uint8_t port, std::uint8_t bit, bool high)
{
    if (bit > 7)
        return;
    std::uint8_t* driven = port == 'A' ? &m_drivenA : port == 'B' ? &m_drivenB : nullptr;
    if (!driven)
        return;
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    *driven = high ? (*driven | mask) : (*driven & ~mask);
}

std::optional<Report> SimBox::applicationAnswer(const Report& rq)
{
    Report a{};
    a[1] = rq[1];
    switch (rq[1]) {
    case cmd::SetSpiPulseWidth: m_pulseWidth = rq[2]; break;
    case cmd::UpdateFlag:
        if (std::equal(std::begin(kUpdateFlagArgs), std::end(kUpdateFlagArgs), rq.begin() + 2))
            m_updateFlag = rq[5] == kUpdateFlagYes;
        break;
    case cmd::SetByteAAsInput: m_portAOutput = false; break;
    case cmd::SetByteAAsOutput: m_portAOutput = true; break;
    case cmd::SetByteBAsInput: m_portBOutput = false; break;
    case cmd::SetByteBAsOutput: m_portBOutput = true; break;
    case cmd::ReadByteA: a[2] = levelA(); break;
    case cmd::ReadByteB: a[2] = levelB(); break;
    case cmd::ReadBit: {
        const std::uint8_t level = rq[2] == 'A' ? levelA() : rq[2] == 'B' ? levelB() : 0;
        a[2] = rq[3] <= 7 ? (level >> rq[3]) & 1 : 0;
        break;
    }
    case cmd::SetByte:
        if (rq[2] == 'A')
            m_drivenA = rq[3];
        else if (rq[2] == 'B')
            m_drivenB = rq[3];
        break;
    case cmd::SetTtlBit: setLine(rq[2], rq[3], rq[4] != 0); break;
    case cmd::SetRelayByte: m_relays = rq[2]; break;
    case cmd::SetRelay:
        if (rq[2] <= 7) {
            const auto mask = static_cast<std::uint8_t>(1u << rq[2]);
            m_relays = rq[3] ? (m_relays | mask) : (m_relays & ~mask);
        }
        break;
    case cmd::ReadRelaysByte: a[2] = m_relays; break;
    case cmd::SpiOut: {
        SpiWord word{lineName(rq[2], rq[3]), lineName(rq[4], rq[5]), lineName(rq[6], rq[7]), {}, false, false};
        for (std::size_t i = 0; i < rq[8] && 9 + i < rq.size(); ++i)
            word.bits.push_back(rq[9 + i]);
        m_spiWords.push_back(std::move(word));
        break;
    }
    case cmd::SpiOutTrigg: {
        SpiWord word{{}, {}, {}, {}, true, rq[3] != 0};
        for (std::size_t i = 0; i < rq[2] && 4 + i < rq.size(); ++i)
            word.bits.push_back(rq[4 + i]);
        m_spiWords.push_back(std::move(word));
        break;
    }
    case cmd::ReadModelName: putText(a, m_config.model); break;
    case cmd::ReadSn: putText(a, m_config.serial); break;
    case cmd::SetTtlPulse: m_pulses.push_back({lineName(rq[2], rq[3]), rq[4]}); break;
    case cmd::GetExtFirmware:
        for (std::size_t i = 0; i < m_config.firmware.size(); ++i)
            a[2 + i] = m_config.firmware[i];
        break;
    case cmd::ResetCpu:
        // Back to the idle state the firmware starts in; SimBackend handles the re-enumeration.
        m_portAOutput = m_portBOutput = true;
        m_drivenA = m_drivenB = m_relays = 0;
        break;
    default: break;  // unknown codes are echoed with no data
    }
    return a;
}

std::optional<Report> SimBox::bootloaderAnswer(const Report& rq)
{
    if (!isLineStart(rq[1]))
        return std::nullopt;  // the bootloader knows nothing but image lines
    std::string line;
    for (std::size_t i = 1; i < rq.size() && rq[i] != 0; ++i)
        line.push_back(static_cast<char>(rq[i]));
    const std::size_t index = m_lines.size();
    m_lines.push_back(line);
    std::uint8_t status = kLineAccepted;
    if (m_lineAnswer)
        status = m_lineAnswer(line, index);
    else if (line.find(":00000001FF") != std::string::npos)
        status = kUpdateFinished;
    Report a{};
    a[1] = rq[1];
    a[2] = status;
    if (status == kUpdateFinished)
        leaveBootloader();  // the new firmware starts
    return a;
}

}  // namespace iox::sim
