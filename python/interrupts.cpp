#include "interrupts.h"

#include <algorithm>
#include <thread>

namespace iox::python {

namespace {

constexpr std::chrono::milliseconds kSlice{50};  // how late a signal may be noticed

SignalCheck& installed()
{
    static SignalCheck check;
    return check;
}

}  // namespace

void setSignalCheck(SignalCheck check) { installed() = std::move(check); }

bool signalArrived() { return installed() && installed()(); }

bool SlicedBackend::read(HidHandle handle, Report& report, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const auto slice = std::min(left, kSlice);
        const auto started = Clock::now();
        if (m_bus.read(handle, report, slice))
            return true;
        // A read that failed before its slice ended is a failed read, not a wait.
        if (Clock::now() - started < slice || left <= kSlice || m_giveUp())
            return false;
    }
}

bool sleepUnless(std::chrono::milliseconds wait, const std::function<bool()>& giveUp)
{
    const auto until = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < until) {
        if (giveUp())
            return false;
        std::this_thread::sleep_until(std::min(until, std::chrono::steady_clock::now() + kSlice));
    }
    return true;
}

}  // namespace iox::python
