#include "wait.h"

namespace iox::boxes {

Condition lineAt(const Line& line, bool high)
{
    const bool portA = line.port == 'A';
    const int bit = line.bit;
    return {Parts{portA, !portA, false}, [portA, bit, high](const State& s) {
                const std::uint8_t byte = portA ? s.a : s.b;
                return ((byte >> bit) & 1) == (high ? 1 : 0);
            }};
}

Condition changedFrom(const State& last)
{
    return {last.read, [last](const State& s) { return !s.sameAs(last); }};
}

WaitOutcome waitUntil(USB_IO& io, const Wait& wait)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline = start + wait.timeout;
    const auto read = [&] { return readState(io, wait.condition.parts); };
    for (;;) {
        WaitOutcome outcome;
        outcome.state = wait.around ? wait.around(read) : read();
        outcome.waited = outcome.state.time - start;
        if (!outcome.state.answered())
            outcome.end = WaitEnd::Unanswered;
        else if (wait.condition.holds(outcome.state))
            outcome.end = WaitEnd::Held;
        else if (wait.stop && wait.stop())
            outcome.end = WaitEnd::Stopped;
        else if (outcome.state.time >= deadline)
            outcome.end = WaitEnd::TimedOut;
        else
            continue;
        return outcome;
    }
}

}  // namespace iox::boxes
