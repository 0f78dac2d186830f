#include "device/one_box_backend.h"

namespace iox {

std::vector<HidInterface> OneBoxBackend::enumerate()
{
    std::vector<HidInterface> one;
    for (auto& hid : m_bus.enumerate()) {
        if (hid.path == m_path)
            one.push_back(std::move(hid));
    }
    return one;
}

}  // namespace iox
