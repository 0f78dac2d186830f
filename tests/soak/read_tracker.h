#pragma once
// What each poll read actually delivered, seen on the simulated bus: the data byte of the
// first report that echoed the read's request, or 0 when none did (the exchange failed,
// timed out, or never reached a box). Reset before a tick; the tick's three reads fill it.

#include <cstdint>
#include <string>

#include "device/commands.h"
#include "device/sim/sim_backend.h"

namespace iox::testing {

class ReadTracker {
public:
    explicit ReadTracker(sim::SimBackend& bus) : m_bus(bus)
    {
        m_bus.setTraceSink([this](sim::Direction direction, const std::string&, const Report& report) {
            if (direction == sim::Direction::Out) {
                m_pending = report[1];
                m_answered = false;
            } else if (!m_answered && report[1] == m_pending) {
                m_answered = true;
                if (std::uint8_t* slot = valueOf(m_pending))
                    *slot = report[2];
            }
        });
    }
    ~ReadTracker() { m_bus.setTraceSink({}); }
    ReadTracker(const ReadTracker&) = delete;
    ReadTracker& operator=(const ReadTracker&) = delete;

    void reset()
    {
        a = b = relays = 0;
        m_pending = 0;
        m_answered = true;
    }

    std::uint8_t a = 0, b = 0, relays = 0;

private:
    std::uint8_t* valueOf(std::uint8_t code)
    {
        switch (code) {
        case cmd::ReadByteA: return &a;
        case cmd::ReadByteB: return &b;
        case cmd::ReadRelaysByte: return &relays;
        default: return nullptr;
        }
    }

    sim::SimBackend& m_bus;
    std::uint8_t m_pending = 0;
    bool m_answered = true;
};

}  // namespace iox::testing
