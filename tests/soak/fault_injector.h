#pragma once
// Faults for simulated boxes, chosen at random from a seed so that a run can be repeated:
// a box vanishes and comes back, goes silent, answers late, has stale reports waiting, or
// sends garbage. Each fault but the stale reports lasts a few ticks.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "device/commands.h"
#include "device/sim/sim_backend.h"

namespace iox::testing {

class FaultInjector {
public:
    enum Kind { Vanish, Silent, Late, Stale, Garbage, kKinds };
    static constexpr const char* kNames[kKinds] = {"vanish", "silent", "late", "stale", "garbage"};

    // `bound` is the exchange bound: late answers come up to twice that late, so that some
    // arrive in time and some only after their exchange has given up.
    FaultInjector(sim::SimBackend& bus, std::uint64_t seed, std::chrono::milliseconds bound, int oneIn = 120)
        : m_bus(bus), m_rng(std::make_shared<std::mt19937_64>(seed)), m_bound(bound), m_oneIn(oneIn)
    {
    }

    // One tick of a box: ends a fault that has run its course, or perhaps starts one.
    // True when the box has just come back after vanishing.
    bool step(std::size_t box)
    {
        if (m_state.size() <= box)
            m_state.resize(box + 1);
        State& state = m_state[box];
        if (state.ticksLeft > 0) {
            if (--state.ticksLeft == 0)
                return end(box, state.kind);
            return false;
        }
        if (pick(m_oneIn) != 0)
            return false;
        state.kind = static_cast<Kind>(pick(kKinds));
        state.ticksLeft = 2 + static_cast<int>(pick(20));
        start(box, state.kind);
        ++m_counts[state.kind];
        if (state.kind == Stale)
            state.ticksLeft = 0;  // nothing to end
        return false;
    }

    std::uint64_t pick(std::uint64_t n) { return (*m_rng)() % n; }
    const std::array<std::size_t, kKinds>& counts() const { return m_counts; }
    std::size_t total() const
    {
        std::size_t n = 0;
        for (const auto c : m_counts)
            n += c;
        return n;
    }

private:
    struct State {
        Kind kind = Vanish;
        int ticksLeft = 0;
    };

    void start(std::size_t box, Kind kind)
    {
        sim::Faults& faults = m_bus.faults(box);
        switch (kind) {
        case Vanish: m_bus.vanish(box); break;
        case Silent: faults.silent = true; break;
        case Late: faults.answerDelay = std::chrono::milliseconds(pick(2 * m_bound.count() + 1)); break;
        case Stale:
            for (auto n = 1 + pick(3); n > 0; --n) {
                static constexpr std::uint8_t kCodes[] = {cmd::ReadByteA, cmd::ReadByteB, cmd::ReadRelaysByte,
                                                          cmd::SetRelay, cmd::SetTtlBit, 0};
                Report stale{};
                stale[1] = kCodes[pick(std::size(kCodes))];
                if (stale[1] == 0)
                    stale[1] = static_cast<std::uint8_t>(pick(256));
                for (std::size_t i = 2; i < stale.size(); ++i)
                    stale[i] = static_cast<std::uint8_t>(pick(256));
                m_bus.queueStale(box, stale);
            }
            break;
        case Garbage:
            // Random answer bytes; now and then the code byte too, so the echo never comes.
            faults.mangle = [rng = m_rng](Report& answer) {
                for (std::size_t i = 2; i < answer.size(); ++i)
                    answer[i] = static_cast<std::uint8_t>((*rng)());
                if ((*rng)() % 4 == 0)
                    answer[1] = static_cast<std::uint8_t>((*rng)());
            };
            break;
        case kKinds: break;
        }
    }

    bool end(std::size_t box, Kind kind)
    {
        sim::Faults& faults = m_bus.faults(box);
        switch (kind) {
        case Vanish: m_bus.reappear(box); return true;
        case Silent: faults.silent = false; break;
        case Late: faults.answerDelay = std::chrono::milliseconds(0); break;
        case Garbage: faults.mangle = nullptr; break;
        case Stale:
        case kKinds: break;
        }
        return false;
    }

    sim::SimBackend& m_bus;
    std::shared_ptr<std::mt19937_64> m_rng;
    std::chrono::milliseconds m_bound;
    int m_oneIn;
    std::vector<State> m_state;
    std::array<std::size_t, kKinds> m_counts{};
};

}  // namespace iox::testing
