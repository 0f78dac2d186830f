#pragma once
// Waits that a signal cuts short. Python runs its signal handlers (Ctrl-C's KeyboardInterrupt)
// only between byte codes, so a box call that waits for an answer, or an update that waits
// for a box's restart, asks between short slices of its wait whether one has arrived. The
// module installs that question; the code here knows no Python.

#include <chrono>
#include <functional>

#include "device/hid_backend.h"

namespace iox::python {

// True when a signal arrived that a waiting call should give way to.
using SignalCheck = std::function<bool()>;
void setSignalCheck(SignalCheck check);
bool signalArrived();

// Reads wait in slices; between them `giveUp` is asked, and a read given up fails.
class SlicedBackend : public HidBackend {
public:
    SlicedBackend(HidBackend& bus, std::function<bool()> giveUp) : m_bus(bus), m_giveUp(std::move(giveUp)) {}

    std::vector<HidInterface> enumerate() override { return m_bus.enumerate(); }
    HidHandle open(const std::string& path) override { return m_bus.open(path); }
    bool write(HidHandle handle, const Report& report) override { return m_bus.write(handle, report); }
    bool read(HidHandle handle, Report& report, std::chrono::milliseconds timeout) override;
    void close(HidHandle handle) override { m_bus.close(handle); }

private:
    HidBackend& m_bus;
    std::function<bool()> m_giveUp;
};

// Sleeps for `wait` in slices; false when `giveUp` ended it early.
bool sleepUnless(std::chrono::milliseconds wait, const std::function<bool()>& giveUp);

}  // namespace iox::python
