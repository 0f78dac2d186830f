// The simulated box's hand-over to its bootloader, which the firmware updates rely on.

#include "device/commands.h"
#include "sim_fixture.h"

namespace iox::testing {
namespace {

using namespace std::chrono_literals;

Report line(const std::string& text)
{
    Report r{};
    for (std::size_t i = 0; i < text.size() && i < 64; ++i)
        r[1 + i] = static_cast<std::uint8_t>(text[i]);
    return r;
}

// The hand-over to the bootloader on the raw backend: flag, reset, failed reopens, lines.
TEST(Bootloader, UpdateFlagResetReopenLinesAndRestart)
{
    sim::SimBackend bus;
    bus.addBox(boxWith("10001"));
    bus.faults(0).failedOpensAfterReset = 2;
    bus.box(0).setLineAnswer([](const std::string&, std::size_t index) -> std::uint8_t { return index == 2 ? 'F' : 'O'; });
    USB_IO io{bus};
    ASSERT_EQ(io.Connect(), 1);
    Report answer{};
    ASSERT_TRUE(bus.write(io.GetUSBDeviceHandle(), request(cmd::UpdateFlag, {0x7A, 0xFF, 1, 'Y'})) &&
                bus.read(io.GetUSBDeviceHandle(), answer, 10ms));
    EXPECT_TRUE(answer[1] == cmd::UpdateFlag && bus.box(0).updateFlagSet());

    EXPECT_EQ(io.ResetCPU(), 1);
    const std::string path = io.GetUSBDeviceName();
    io.Disconnect();
    EXPECT_TRUE(bus.box(0).inBootloader());
    EXPECT_EQ(bus.open(path) + bus.open(path), 0) << "two failed opens after the reset";
    const HidHandle boot = bus.open(path);
    ASSERT_GT(boot, 0);
    bus.write(boot, request(cmd::ReadSn));
    EXPECT_FALSE(bus.read(boot, answer, 5ms)) << "the bootloader knows only image lines";

    const std::vector<std::string> lines = {":10000000AA\r\n", ";comment\r\n", ":00000001FF"};
    std::string answers;  // the echoed first character and the status of each line
    for (const std::string& text : lines) {
        ASSERT_TRUE(bus.write(boot, line(text)) && bus.read(boot, answer, 10ms));
        answers += std::string{char(answer[1]), char(answer[2])} + " ";
    }
    EXPECT_EQ(answers, ":O ;O :F ");
    EXPECT_EQ(bus.box(0).bootloaderLines(), lines);
    EXPECT_FALSE(bus.box(0).inBootloader()) << "'F' starts the new firmware";
    std::string model;
    EXPECT_EQ(io.Connect("10001") + io.Read_ModelName(model), 2);
    EXPECT_EQ(model, "IOX-MODEL-C");
}

}  // namespace
}  // namespace iox::testing
