// The bootloader protocol on the simulated box: the line request, its answer, bounded waits.
// When sending an image stops is checked through the update window (fw_form_test).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/sim/sim_backend.h"
#include "firmware/bootloader_protocol.h"

namespace iox::firmware {
namespace {

using namespace std::chrono_literals;

class Bootloader : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus.addBox({});
        bus.box(0).enterBootloader();
        handle = bus.open(bus.pathOf(0));
        ASSERT_NE(handle, 0);
        link.setAnswerBounds(20ms, 20ms);
    }

    sim::SimBackend bus;
    BootloaderLink link{bus};
    HidHandle handle = 0;
};

TEST(BootloaderRequests, LineRequestCarriesSixtyThreeBytesAtMost)
{
    const std::string line63 = ":" + std::string(60, '7') + "\r\n";
    const Report whole = lineRequest(line63);
    EXPECT_EQ(std::string(whole.begin() + 1, whole.end() - 1), line63);
    EXPECT_EQ(whole[64], 0);
    const Report cut = lineRequest(line63 + "X");
    EXPECT_EQ(std::string(cut.begin() + 1, cut.end() - 1), line63) << "the 64th character is not sent";
    EXPECT_EQ(cut[0], 0);
}

TEST_F(Bootloader, TheAnswerIsTheEchoStatusAndSilenceIsAFailedRead)
{
    bus.queueStale(0, Report{0, 0x99, 'O'});
    bus.box(0).setLineAnswer([](const std::string&, std::size_t) { return std::uint8_t{'X'}; });
    EXPECT_EQ(link.SendFirmwareLine(handle, ":00\r\n"), 'X') << "the stale report is passed over";
    EXPECT_EQ(bus.box(0).bootloaderLines(), (std::vector<std::string>{":00\r\n"}));

    bus.faults(0).silent = true;
    bus.queueStale(0, Report{0, 0x99, 'O'});
    EXPECT_EQ(link.SendFirmwareLine(handle, ":00\r\n"), 0) << "a stale report's byte 2 is no answer";
    bus.clearLog();
    EXPECT_EQ(link.SendFirmwareLine(0, ":00\r\n"), 0);
    EXPECT_TRUE(bus.log().empty()) << "no handle, nothing sent";
}

}  // namespace
}  // namespace iox::firmware
