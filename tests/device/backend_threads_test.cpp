// The simulated backend with one thread per handle while another lists and unplugs boxes:
// each handle gets its own box's answers, and nothing deadlocks.
#include <atomic>
#include <thread>

#include "sim_fixture.h"

namespace iox::testing {
namespace {

TEST(BackendThreads, EachHandleGetsItsOwnBoxsAnswersWhileDiscoveryRuns)
{
    sim::SimBackend bus;
    for (int i = 0; i <= 4; ++i)  // box 4 has no poller: it comes and goes
        bus.addBox(boxWith(std::to_string(20000 + i)));
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> pollers;
    for (int i = 0; i < 4; ++i)
        pollers.emplace_back([&, i] {
            USB_IO io(bus);
            io.Connect(std::to_string(20000 + i));
            io.Set_RelayByte(1 << i);
            std::uint8_t relays = 0;
            for (int n = 0; n < 10000; ++n)
                wrong += io.Read_Relays_Byte(relays) != 1 || relays != 1 << i;
        });
    std::thread discovery([&] {
        for (std::string list; !done; bus.reappear(4)) {
            USB_IO(bus).Get_Available_SN_List(list);
            bus.vanish(4);
        }
    });
    for (auto& poller : pollers)
        poller.join();
    done = true;
    discovery.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace iox::testing
