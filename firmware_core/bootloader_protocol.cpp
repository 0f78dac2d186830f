#include "bootloader_protocol.h"

#include <algorithm>

#include "device/commands.h"
#include "image_file.h"

namespace iox::firmware {

Report updateFlagRequest(std::uint8_t flag)
{
    Report request{};
    request[1] = cmd::UpdateFlag;
    std::copy(std::begin(kUpdateFlagArgs), std::end(kUpdateFlagArgs), request.begin() + 2);
    request[5] = flag;
    return request;
}

Report lineRequest(std::string_view line)
{
    Report request{};
    const std::size_t n = std::min(line.size(), kMaxLineBytes);
    for (std::size_t i = 0; i < n; ++i)
        request[1 + i] = static_cast<std::uint8_t>(line[i]);
    return request;
}

bool BootloaderLink::awaitEcho(HidHandle handle, std::uint8_t echo, std::chrono::milliseconds bound,
                               Report& answer)
{
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + bound;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        if (left.count() <= 0)
            return false;
        answer.fill(0);
        if (!m_backend.read(handle, answer, left))
            return false;
        if (answer[1] == echo)
            return true;
    }
}

bool BootloaderLink::WriteUpdateFlag(HidHandle handle, std::uint8_t flag)
{
    if (handle == 0)
        return false;
    m_backend.write(handle, updateFlagRequest(flag));
    Report answer{};
    return awaitEcho(handle, cmd::UpdateFlag, m_flagBound, answer);
}

std::uint8_t BootloaderLink::SendFirmwareLine(HidHandle handle, std::string_view line)
{
    if (handle == 0)
        return 0;  // the box never came back: nothing to send to
    const Report request = lineRequest(line);
    m_backend.write(handle, request);
    Report answer{};
    if (!awaitEcho(handle, request[1], m_lineBound, answer))
        return 0;
    return answer[2];
}

}  // namespace iox::firmware
