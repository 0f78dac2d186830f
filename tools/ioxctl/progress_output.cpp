#include "progress_output.h"

#include <string>

namespace iox::ctl {

void ProgressOutput::update(std::size_t done, std::size_t total, std::size_t lines)
{
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    if (m_terminal) {
        constexpr int kWidth = 40;
        const int filled = percent * kWidth / 100;
        m_out << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] " << percent << "%  "
              << lines << " lines" << std::flush;
    } else {
        m_out << "progress " << percent << "% (" << lines << " lines sent)\n" << std::flush;
    }
}

void ProgressOutput::finish()
{
    if (m_terminal && m_lastPercent >= 0)
        m_out << '\n';
    m_lastPercent = -1;
}

}  // namespace iox::ctl
