#pragma once
// HidBackend over hidapi (the hidraw flavour on Linux): the path real boxes take.
// Safe for one thread per handle: hidapi's library-wide calls (initialisation,
// enumeration, open, close) run one at a time across every instance; reads and writes
// on different handles run side by side.

#include <map>
#include <mutex>

#include "hid_backend.h"

struct hid_device_;

namespace iox {

class HidapiBackend : public HidBackend {
public:
    HidapiBackend();
    ~HidapiBackend() override;
    HidapiBackend(const HidapiBackend&) = delete;
    HidapiBackend& operator=(const HidapiBackend&) = delete;

    std::vector<HidInterface> enumerate() override;
    HidHandle open(const std::string& path) override;
    bool write(HidHandle handle, const Report& report) override;
    bool read(HidHandle handle, Report& report, std::chrono::milliseconds timeout) override;
    void close(HidHandle handle) override;

private:
    hid_device_* device(HidHandle handle) const;

    mutable std::mutex m_mutex;  // m_devices and m_nextHandle

    bool m_initialised = false;
    std::map<HidHandle, hid_device_*> m_devices;
    HidHandle m_nextHandle = 1;
};

}  // namespace iox
