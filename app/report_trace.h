#pragma once
// One line per report: "out" or "in", the box's serial number, the 65 bytes as two-digit
// lowercase hex, all separated by single blanks. Flushed after every line so that another
// program can follow the file while the demo runs.

#include <cstdio>
#include <string>

#include "device/sim/sim_backend.h"

namespace iox::demo {

std::string traceLine(sim::Direction direction, const std::string& serial, const Report& report);

class ReportTrace {
public:
    // Opens (truncates) the file; ok() tells whether that worked.
    explicit ReportTrace(const std::string& path);
    ~ReportTrace();
    ReportTrace(const ReportTrace&) = delete;
    ReportTrace& operator=(const ReportTrace&) = delete;

    bool ok() const { return m_file != nullptr; }
    void write(sim::Direction direction, const std::string& serial, const Report& report);

private:
    std::FILE* m_file = nullptr;
};

}  // namespace iox::demo
