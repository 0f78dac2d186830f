// The simulated backend with one thread per handle while another lists and unplugs boxes:
// each handle gets its own box's answers, and nothing deadlocks.
#include <thread>

#include "sim_fixture.h"

namespace iox::testing {
namespace {

TEST(BackendThreads, EachHandleGetsItsOwnBoxsAnswersWhileDiscoveryRuns)
{
    sim::SimBackend bus;
    for (int i = 0; i <= 4; ++i)  // box 4 has no poller: it comes and goes
        bus.addBox(boxWith(std::to_string(20000 + i)));
    std::jthread discovery([&](std::stop_token stop) {
        for (std::string list; !stop.stop_requested(); bus.reappear(4)) {
            USB_IO(bus).Get_Available_SN_List(list);
            bus.vanish(4);
        }
    });
    std::vector<std::jthread> pollers;  // joined first, then discovery is stopped
    for (int i = 0; i < 4; ++i)
        pollers.emplace_back([&, i] {
            USB_IO io(bus);
            io.Connect(std::to_string(20000 + i));
            io.Set_RelayByte(1 << i);
            std::uint8_t relays = 0;
            for (int n = 0; n < 10000; ++n)
                ASSERT_TRUE(io.Read_Relays_Byte(relays) == 1 && relays == 1 << i);
        });
}

}  // namespace
}  // namespace iox::testing
