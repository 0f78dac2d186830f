#pragma once
// A HidBackend that prints every report written and every report read, in iox-demo's trace
// line format ("out SN 00 1c ..."), before handing it on. A box is named by its serial
// number once one of its answers to the serial-number request has been seen, by its
// device path until then.

#include <map>
#include <ostream>
#include <string>

#include "device/hid_backend.h"

namespace iox::ctl {

class TracingBackend : public HidBackend {
public:
    TracingBackend(HidBackend& bus, std::ostream& out) : m_bus(bus), m_out(out) {}

    std::vector<HidInterface> enumerate() override { return m_bus.enumerate(); }
    HidHandle open(const std::string& path) override;
    bool write(HidHandle handle, const Report& report) override;
    bool read(HidHandle handle, Report& report, std::chrono::milliseconds timeout) override;
    void close(HidHandle handle) override;

private:
    std::string nameOf(HidHandle handle) const;

    HidBackend& m_bus;
    std::ostream& m_out;
    std::map<HidHandle, std::string> m_paths;       // open handles
    std::map<std::string, std::string> m_serials;   // path -> serial number seen
};

}  // namespace iox::ctl
