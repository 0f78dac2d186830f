#pragma once
// The handful of platform calls that USB_IO needs from a HID access layer.
// One implementation talks to real boxes (hidapi), another simulates them.

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace iox {

using HidHandle = std::int32_t;               // 0 means no handle
using Report = std::array<std::uint8_t, 65>;  // byte 0 is the report ID, always 0

struct HidInterface {
    std::string path;
    std::uint16_t vendorId;
    std::uint16_t productId;
};

class HidBackend {
public:
    virtual ~HidBackend() = default;
    // Every HID interface of the system, in the platform's order.
    virtual std::vector<HidInterface> enumerate() = 0;
    // Opens a path for reading and writing; 0 when it cannot be opened.
    virtual HidHandle open(const std::string& path) = 0;
    // Sends one output report; byte 0 is the report ID.
    virtual bool write(HidHandle handle, const Report& report) = 0;
    // Waits up to timeout for the next input report, delivered with byte 0 = 0 and the
    // box's 64 payload bytes in bytes 1 to 64. False: failed, or no report within timeout.
    virtual bool read(HidHandle handle, Report& report, std::chrono::milliseconds timeout) = 0;
    virtual void close(HidHandle handle) = 0;
};

}  // namespace iox
