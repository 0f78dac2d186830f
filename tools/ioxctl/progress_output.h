#pragma once
// Progress of a long run: a bar redrawn in place on a terminal, otherwise one plain line
// each time the percentage moves, so logs stay short.

#include <cstddef>
#include <ostream>

namespace iox::ctl {

class ProgressOutput {
public:
    ProgressOutput(std::ostream& out, bool terminal) : m_out(out), m_terminal(terminal) {}

    // done out of total (total > 0); lines counts what was sent so far.
    void update(std::size_t done, std::size_t total, std::size_t lines);
    // Ends the bar's line on a terminal.
    void finish();

private:
    std::ostream& m_out;
    bool m_terminal;
    int m_lastPercent = -1;
};

}  // namespace iox::ctl
