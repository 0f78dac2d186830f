#include "report_trace.h"

namespace iox::sim {

std::string traceLine(Direction direction, const std::string& serial, const Report& report)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string line = direction == Direction::Out ? "out " : "in ";
    line.reserve(line.size() + serial.size() + 1 + report.size() * 3);
    line += serial;
    for (const std::uint8_t byte : report) {
        line += ' ';
        line += kHex[byte >> 4];
        line += kHex[byte & 0x0F];
    }
    return line;
}

ReportTrace::ReportTrace(const std::string& path) : m_file(std::fopen(path.c_str(), "w")) {}

ReportTrace::~ReportTrace()
{
    if (m_file)
        std::fclose(m_file);
}

void ReportTrace::write(Direction direction, const std::string& serial, const Report& report)
{
    if (!m_file)
        return;
    const std::string line = traceLine(direction, serial, report);
    std::fputs(line.c_str(), m_file);
    std::fputc('\n', m_file);
    std::fflush(m_file);
}

}  // namespace iox::sim
