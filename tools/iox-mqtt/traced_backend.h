#pragma once
// A HidBackend that writes every report to a trace file ("out|in SN <65 hex bytes>",
// flushed per line) before handing it on. One per box, named by its serial number; the
// file and its lock are shared by all of them.

#include <mutex>
#include <string>

#include "device/sim/report_trace.h"
#include "device/hid_backend.h"

namespace iox::mqtt {

struct TraceFile {
    explicit TraceFile(const std::string& path) : file(path) {}
    sim::ReportTrace file;
    std::mutex lock;
};

class TracedBackend : public HidBackend {
public:
    TracedBackend(HidBackend& bus, TraceFile& trace, std::string name)
        : m_bus(bus), m_trace(trace), m_name(std::move(name)) {}

    std::vector<HidInterface> enumerate() override { return m_bus.enumerate(); }
    HidHandle open(const std::string& path) override { return m_bus.open(path); }
    void close(HidHandle handle) override { m_bus.close(handle); }
    bool write(HidHandle handle, const Report& report) override
    {
        line(sim::Direction::Out, report);
        return m_bus.write(handle, report);
    }
    bool read(HidHandle handle, Report& report, std::chrono::milliseconds timeout) override
    {
        if (!m_bus.read(handle, report, timeout))
            return false;
        line(sim::Direction::In, report);
        return true;
    }

private:
    void line(sim::Direction direction, const Report& report)
    {
        std::lock_guard held(m_trace.lock);
        m_trace.file.write(direction, m_name, report);
    }

    HidBackend& m_bus;
    TraceFile& m_trace;
    const std::string m_name;
};

}  // namespace iox::mqtt
