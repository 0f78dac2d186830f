#include "tracing_backend.h"

#include "device/sim/report_trace.h"
#include "device/commands.h"
#include "device/wire.h"

namespace iox::ctl {

HidHandle TracingBackend::open(const std::string& path)
{
    const HidHandle handle = m_bus.open(path);
    if (handle > 0)
        m_paths[handle] = path;
    return handle;
}

std::string TracingBackend::nameOf(HidHandle handle) const
{
    const auto path = m_paths.find(handle);
    if (path == m_paths.end())
        return "-";
    const auto serial = m_serials.find(path->second);
    return serial == m_serials.end() ? path->second : serial->second;
}

bool TracingBackend::write(HidHandle handle, const Report& report)
{
    m_out << sim::traceLine(sim::Direction::Out, nameOf(handle), report) << '\n' << std::flush;
    return m_bus.write(handle, report);
}

bool TracingBackend::read(HidHandle handle, Report& report, std::chrono::milliseconds timeout)
{
    if (!m_bus.read(handle, report, timeout))
        return false;
    if (report[1] == cmd::ReadSn) {
        const auto path = m_paths.find(handle);
        const std::string serial = wire::textAnswer(report);
        if (path != m_paths.end() && !serial.empty())
            m_serials[path->second] = serial;
    }
    m_out << sim::traceLine(sim::Direction::In, nameOf(handle), report) << '\n' << std::flush;
    return true;
}

void TracingBackend::close(HidHandle handle)
{
    m_paths.erase(handle);
    m_bus.close(handle);
}

}  // namespace iox::ctl
