#include "tracing_backend.h"

#include "device/commands.h"
#include "device/wire.h"

namespace iox::boxes {

std::string traceLine(Direction direction, const std::string& name, const Report& report)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string line = direction == Direction::Out ? "out " : "in ";
    line.reserve(line.size() + name.size() + 1 + report.size() * 3);
    line += name;
    for (const std::uint8_t byte : report) {
        line += ' ';
        line += kHex[byte >> 4];
        line += kHex[byte & 0x0F];
    }
    return line;
}

TraceSink traceLines(std::function<void(const std::string& line)> put)
{
    return [put = std::move(put)](Direction direction, const std::string& name, const Report& report) {
        put(traceLine(direction, name, report));
    };
}

TraceFile::TraceFile(const std::string& path) : m_file(std::fopen(path.c_str(), "w")) {}

TraceFile::~TraceFile()
{
    if (m_file)
        std::fclose(m_file);
}

void TraceFile::write(const std::string& line)
{
    if (!m_file)
        return;
    std::fputs(line.c_str(), m_file);
    std::fputc('\n', m_file);
    std::fflush(m_file);
}

TracingBackend::TracingBackend(HidBackend& bus, TraceSink sink, std::map<std::string, std::string> knownSerials)
    : m_bus(bus), m_sink(std::move(sink)), m_serials(std::move(knownSerials))
{
}

HidHandle TracingBackend::open(const std::string& path)
{
    const HidHandle handle = m_bus.open(path);
    if (handle > 0) {
        std::lock_guard held(m_mutex);
        m_paths[handle] = path;
    }
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

void TracingBackend::put(Direction direction, HidHandle handle, const Report& report)
{
    std::lock_guard held(m_mutex);
    if (direction == Direction::In && report[1] == cmd::ReadSn) {
        const auto path = m_paths.find(handle);
        const std::string serial = wire::textAnswer(report);
        if (path != m_paths.end() && !serial.empty())
            m_serials[path->second] = serial;
    }
    m_sink(direction, nameOf(handle), report);
}

bool TracingBackend::write(HidHandle handle, const Report& report)
{
    put(Direction::Out, handle, report);
    return m_bus.write(handle, report);
}

bool TracingBackend::read(HidHandle handle, Report& report, std::chrono::milliseconds timeout)
{
    if (!m_bus.read(handle, report, timeout))
        return false;
    put(Direction::In, handle, report);
    return true;
}

void TracingBackend::close(HidHandle handle)
{
    {
        std::lock_guard held(m_mutex);
        m_paths.erase(handle);
    }
    m_bus.close(handle);
}

}  // namespace iox::boxes
