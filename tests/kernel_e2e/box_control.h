#pragma once
// The test's side of uhid_box: starts the program with pipes to its stdin and stdout and
// sends it one command per line, returning its reply.

#include <string>
#include <sys/types.h>
#include <vector>

namespace iox::kernel_e2e {

class BoxControl {
public:
    explicit BoxControl(const std::string& program);
    ~BoxControl();
    BoxControl(const BoxControl&) = delete;
    BoxControl& operator=(const BoxControl&) = delete;

    bool running() const { return m_pid > 0; }
    // One command, one reply line ("ok ..." or "error ..."); empty when the program is gone.
    std::string send(const std::string& command);
    // The output reports the slot received since the last call, as "out <size> <rtype> <hex>".
    std::vector<std::string> take(int slot);

private:
    std::string readLine();

    pid_t m_pid = -1;
    int m_to = -1;
    int m_from = -1;
    std::string m_buffer;
};

}  // namespace iox::kernel_e2e
