#include "hidapi_backend.h"

#include <algorithm>
#include <climits>

#include <hidapi.h>

namespace iox {

namespace {

// hidapi keeps library-wide state (its initialisation, the last error text, the udev
// context of an enumeration) that is not guarded for threads: every call that touches it
// takes this lock. hid_init runs once per process for all instances; hid_exit when the
// last instance goes.
std::mutex g_library;
int g_instances = 0;
bool g_initialised = false;

}  // namespace

HidapiBackend::HidapiBackend()
{
    std::lock_guard library(g_library);
    if (g_instances++ == 0)
        g_initialised = hid_init() == 0;
    m_initialised = g_initialised;
}

HidapiBackend::~HidapiBackend()
{
    std::lock_guard library(g_library);
    for (auto& [handle, dev] : m_devices)
        hid_close(dev);
    m_devices.clear();
    if (--g_instances == 0 && g_initialised) {
        hid_exit();
        g_initialised = false;
    }
}

std::vector<HidInterface> HidapiBackend::enumerate()
{
    std::vector<HidInterface> found;
    if (!m_initialised)
        return found;
    std::lock_guard library(g_library);
    hid_device_info* list = hid_enumerate(0, 0);
    for (const hid_device_info* info = list; info; info = info->next) {
        if (info->path)
            found.push_back({info->path, info->vendor_id, info->product_id});
    }
    hid_free_enumeration(list);
    return found;
}

HidHandle HidapiBackend::open(const std::string& path)
{
    if (!m_initialised || path.empty())
        return 0;
    std::lock_guard library(g_library);
    hid_device* dev = hid_open_path(path.c_str());
    if (!dev)
        return 0;
    std::lock_guard devices(m_mutex);
    // Handles are small positive numbers; skip any still in use after a wrap-around.
    while (m_nextHandle <= 0 || m_devices.count(m_nextHandle))
        m_nextHandle = m_nextHandle <= 0 ? 1 : m_nextHandle + 1;
    const HidHandle handle = m_nextHandle++;
    m_devices.emplace(handle, dev);
    return handle;
}

hid_device* HidapiBackend::device(HidHandle handle) const
{
    std::lock_guard devices(m_mutex);
    const auto it = m_devices.find(handle);
    return it == m_devices.end() ? nullptr : it->second;
}

bool HidapiBackend::write(HidHandle handle, const Report& report)
{
    hid_device* dev = device(handle);
    // hidapi takes the report ID first; with ID 0 it sends the 64 bytes that follow.
    return dev && hid_write(dev, report.data(), report.size()) >= 0;
}

bool HidapiBackend::read(HidHandle handle, Report& report, std::chrono::milliseconds timeout)
{
    hid_device* dev = device(handle);
    if (!dev)
        return false;
    // The box uses no report IDs: hidapi delivers its 64 payload bytes, which go to
    // bytes 1 to 64 behind the report-ID byte 0.
    std::uint8_t payload[64] = {};
    const auto ms = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INT_MAX));
    const int got = hid_read_timeout(dev, payload, sizeof payload, ms);
    if (got <= 0)
        return false;  // -1: failed (device gone); 0: nothing within the timeout
    report.fill(0);
    std::copy(payload, payload + got, report.begin() + 1);
    return true;
}

void HidapiBackend::close(HidHandle handle)
{
    std::lock_guard library(g_library);
    std::lock_guard devices(m_mutex);
    const auto it = m_devices.find(handle);
    if (it == m_devices.end())
        return;
    hid_close(it->second);
    m_devices.erase(it);
}

}  // namespace iox
