#pragma once
// Shared set-up of the device tests: a simulated bus and a USB_IO object over it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/sim/sim_backend.h"
#include "device/usb_io.h"
#include "wire_table.h"

namespace iox::testing {

inline sim::BoxConfig boxWith(std::string serial, std::string model = "IOX-MODEL-C")
{
    sim::BoxConfig config;
    config.serial = std::move(serial);
    config.model = std::move(model);
    return config;
}

// The codes of the requests a box received, in order.
inline std::vector<int> codesTo(const sim::SimBackend& bus, std::size_t box = 0)
{
    std::vector<int> codes;
    for (const auto& r : bus.requestsTo(box))
        codes.push_back(r[1]);
    return codes;
}

// A simulated bus with boxes of these serial numbers and a USB_IO object over it.
struct SimRig {
    explicit SimRig(const std::vector<std::string>& serials = {"10001"})
    {
        for (const auto& sn : serials)
            bus.addBox(boxWith(sn));
    }
    sim::SimBackend bus;
    USB_IO io{bus};
};

class OneBox : public ::testing::Test, public SimRig {
protected:
    void SetUp() override
    {
        ASSERT_EQ(io.Connect(), 1);
        bus.clearLog();
    }
};

}  // namespace iox::testing
