#include "box_control.h"

#include <sys/wait.h>
#include <unistd.h>

namespace iox::kernel_e2e {

BoxControl::BoxControl(const std::string& program)
{
    int to[2], from[2];
    if (::pipe(to) != 0)
        return;
    if (::pipe(from) != 0) {
        ::close(to[0]);
        ::close(to[1]);
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(to[0], STDIN_FILENO);
        ::dup2(from[1], STDOUT_FILENO);
        ::close(to[0]);
        ::close(to[1]);
        ::close(from[0]);
        ::close(from[1]);
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(to[0]);
    ::close(from[1]);
    m_to = to[1];
    m_from = from[0];
    if (m_pid < 0) {
        ::close(m_to);
        ::close(m_from);
        m_to = m_from = -1;
    }
}

BoxControl::~BoxControl()
{
    if (m_pid <= 0)
        return;
    send("quit");
    ::close(m_to);
    ::close(m_from);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
}

std::string BoxControl::readLine()
{
    for (;;) {
        const auto end = m_buffer.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return line;
        }
        char chunk[4096];
        const ssize_t got = ::read(m_from, chunk, sizeof chunk);
        if (got <= 0)
            return {};
        m_buffer.append(chunk, static_cast<std::size_t>(got));
    }
}

std::string BoxControl::send(const std::string& command)
{
    if (m_to < 0)
        return {};
    const std::string line = command + "\n";
    if (::write(m_to, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        return {};
    if (command == "quit")
        return "ok";
    return readLine();
}

std::vector<std::string> BoxControl::take(int slot)
{
    std::vector<std::string> reports;
    for (std::string line = send("take " + std::to_string(slot)); !line.empty() && line != "end";
         line = readLine())
        reports.push_back(line);
    return reports;
}

}  // namespace iox::kernel_e2e
