#pragma once
// One line per report: "out" or "in", the box's serial number, the 65 bytes as two-digit
// lowercase hex, all separated by single blanks. Flushed after every line so that another
// program can follow the file while the program runs.

#include <cstdio>
#include <string>

#include "sim_backend.h"

namespace iox::sim {

std::string traceLine(Direction direction, const std::string& serial, const Report& report);

class ReportTrace {
public:
    // Opens (truncates) the file; ok() tells whether that worked.
    explicit ReportTrace(const std::string& path);
    ~ReportTrace();
    ReportTrace(const ReportTrace&) = delete;
    ReportTrace& operator=(const ReportTrace&) = delete;

    bool ok() const { return m_file != nullptr; }
    void write(Direction direction, const std::string& serial, const Report& report);

private:
    std::FILE* m_file = nullptr;
};

}  // namespace iox::sim
