#pragma once
// One line per event on standard error (the journal, under systemd), whole lines even when
// several threads log at once.

#include <string>

namespace iox::ioxd {

void logLine(const std::string& line);

}  // namespace iox::ioxd
