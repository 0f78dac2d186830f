#pragma once
// The box's bootloader protocol: the update-flag request that the application firmware
// takes before a reset, and the line requests that carry the image, one raw text line per
// output report. Every wait for an answer is bounded; reaching the bound is a failed read.

#include <chrono>
#include <cstdint>
#include <string_view>

#include "device/commands.h"
#include "device/hid_backend.h"

namespace iox::firmware {

Report updateFlagRequest(std::uint8_t flag);
// Bytes 1 to n are the line's first n bytes, n at most 63; the rest is zero.
Report lineRequest(std::string_view line);

class BootloaderLink {
public:
    static constexpr std::chrono::milliseconds kDefaultFlagBound{1000};
    // A line answer waits for the box to write its flash, which takes a few milliseconds.
    static constexpr std::chrono::milliseconds kDefaultLineBound{3000};

    explicit BootloaderLink(HidBackend& backend) : m_backend(backend) {}

    void setAnswerBounds(std::chrono::milliseconds flagBound, std::chrono::milliseconds lineBound)
    {
        m_flagBound = flagBound;
        m_lineBound = lineBound;
    }

    // Sends the flag and waits for the answer echoing the request, or a failed read.
    // True when the box echoed the request.
    bool WriteUpdateFlag(HidHandle handle, std::uint8_t flag);
    // Sends one line; the answer's status byte, or 0 when no answer came.
    std::uint8_t SendFirmwareLine(HidHandle handle, std::string_view line);

private:
    // Reads until a report's byte 1 is echo; false when a read fails or the bound passes.
    bool awaitEcho(HidHandle handle, std::uint8_t echo, std::chrono::milliseconds bound, Report& answer);

    HidBackend& m_backend;
    std::chrono::milliseconds m_flagBound = kDefaultFlagBound;
    std::chrono::milliseconds m_lineBound = kDefaultLineBound;
};

}  // namespace iox::firmware
