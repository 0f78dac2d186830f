#pragma once
// A view of the bus that lists one HID interface only: USB_IO's "first box found" is then
// exactly the box at that path, so a box is reached by path as well as by serial number.
// Everything else goes to the backend underneath.

#include <string>

#include "device/hid_backend.h"

namespace iox {

class OneBoxBackend : public HidBackend {
public:
    OneBoxBackend(HidBackend& bus, std::string path) : m_bus(bus), m_path(std::move(path)) {}

    std::vector<HidInterface> enumerate() override;
    HidHandle open(const std::string& path) override { return m_bus.open(path); }
    bool write(HidHandle handle, const Report& report) override { return m_bus.write(handle, report); }
    bool read(HidHandle handle, Report& report, std::chrono::milliseconds timeout) override
    {
        return m_bus.read(handle, report, timeout);
    }
    void close(HidHandle handle) override { m_bus.close(handle); }

    // Points the view at another interface; not while a handle from it is in use.
    void setPath(std::string path) { m_path = std::move(path); }

private:
    HidBackend& m_bus;
    std::string m_path;
};

}  // namespace iox
