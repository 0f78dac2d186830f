// The simulated box's hand-over to its bootloader, which the firmware updates rely on.

#include <algorithm>

#include "device/commands.h"
#include "sim_fixture.h"

namespace iox::testing {
namespace {

using namespace std::chrono_literals;

// Flag and reset on the raw backend; the bootloader answers image lines only, and its
// end-of-file line starts the firmware again.
TEST(Bootloader, TakesImageLinesOnlyAndTheLastStartsTheFirmware)
{
    sim::SimBackend bus;
    bus.addBox(boxWith("10001"));
    bus.faults(0).failedOpensAfterReset = 2;
    USB_IO io{bus};
    ASSERT_EQ(io.Connect(), 1);
    bus.write(io.GetUSBDeviceHandle(), request(cmd::UpdateFlag, {0x7A, 0xFF, 1, 'Y'}));
    EXPECT_EQ(io.ResetCPU(), 1);
    io.Disconnect();
    EXPECT_EQ(bus.open(bus.pathOf(0)) + bus.open(bus.pathOf(0)), 0) << "two failed opens after the reset";
    const HidHandle boot = bus.open(bus.pathOf(0));
    ASSERT_TRUE(boot > 0 && bus.box(0).inBootloader());
    Report answer{};
    bus.write(boot, request(cmd::ReadSn));
    EXPECT_FALSE(bus.read(boot, answer, 5ms)) << "the bootloader knows only image lines";

    Report eof{};
    std::ranges::copy(std::string_view(":00000001FF"), eof.begin() + 1);
    ASSERT_TRUE(bus.write(boot, eof) && bus.read(boot, answer, 10ms));
    EXPECT_EQ(std::string({char(answer[1]), char(answer[2])}), ":F");
    EXPECT_FALSE(bus.box(0).inBootloader()) << "'F' starts the new firmware";
    std::string model;
    EXPECT_EQ(io.Connect("10001") + io.Read_ModelName(model), 2);
    EXPECT_EQ(model, "IOX-MODEL-C");
}

}  // namespace
}  // namespace iox::testing
