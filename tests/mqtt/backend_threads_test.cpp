// The simulated backend with one thread per handle while another thread enumerates, probes
// and unplugs: every thread gets its own box's answers, none another's.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "device/sim/sim_backend.h"
#include "device/usb_io.h"

namespace iox {
namespace {

TEST(BackendThreads, EachHandleGetsItsOwnBoxsAnswersWhileDiscoveryRuns)
{
    sim::SimBackend bus;
    constexpr int kBoxes = 4;
    for (int i = 0; i < kBoxes; ++i)
        bus.addBox({"IOX-MODEL-C", std::to_string(20001 + i)});
    bus.addBox({"IOX-MODEL-C", "29999"});
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> pollers;
    for (int i = 0; i < kBoxes; ++i)
        pollers.emplace_back([&, i] {
            USB_IO io(bus);
            io.Connect(std::to_string(20001 + i));
            const auto relays = static_cast<std::uint8_t>(1 << i);
            io.Set_RelayByte(relays);
            for (int n = 0; n < 3000; ++n) {
                std::uint8_t value = 0;
                std::string serial;
                if (io.Read_Relays_Byte(value) != 1 || value != relays || io.Read_SN(serial) != 1 ||
                    serial != std::to_string(20001 + i))
                    ++wrong;
            }
        });
    std::thread discovery([&] {
        while (!done) {
            USB_IO walker(bus);
            std::string list;
            walker.Get_Available_SN_List(list);
            bus.vanish(kBoxes);  // a box of no poller comes and goes
            bus.reappear(kBoxes);
        }
    });
    for (auto& poller : pollers)
        poller.join();
    done = true;
    discovery.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace iox
