// The bootloader protocol and the update's bootloader half, on the simulated box: bytes on
// the wire, bounded waits, the reopen after the reset, and when the sending stops.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/commands.h"
#include "device/sim/sim_backend.h"
#include "device/usb_io.h"
#include "firmware/bootloader_protocol.h"
#include "firmware/firmware_update.h"
#include "tests/support/recording_services.h"

namespace iox::firmware {
namespace {

using namespace std::chrono_literals;

std::vector<int> bytesOf(const Report& r) { return {r.begin() + 1, r.end()}; }

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
    FirmwareImage imageOf(const std::string& text)
    {
        return checkImageText(text, QStringLiteral("t.hex")).image.value_or(FirmwareImage{});
    }

    sim::SimBackend bus;
    BootloaderLink link{bus};
    HidHandle handle = 0;
    testing::RecordingServices services;
};

TEST(BootloaderRequests, UpdateFlagCarriesTheMarkAndTheFlag)
{
    std::vector<int> expected(64, 0);
    expected[0] = 0x15;
    expected[1] = 0x7A;
    expected[2] = 0xFF;
    expected[3] = 0x01;
    expected[4] = 0x59;
    EXPECT_EQ(bytesOf(updateFlagRequest(kUpdateFlagYes)), expected);
}

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

TEST_F(Bootloader, LineAnswerIsTheEchoStatus)
{
    bus.queueStale(0, Report{0, 0x99, 'O'});
    bus.box(0).setLineAnswer([](const std::string&, std::size_t) { return std::uint8_t{'X'}; });
    EXPECT_EQ(link.SendFirmwareLine(handle, ":00\r\n"), 'X') << "the stale report is passed over";
    EXPECT_EQ(bus.box(0).bootloaderLines(), (std::vector<std::string>{":00\r\n"}));
}

TEST_F(Bootloader, SilentBootloaderIsAFailedRead)
{
    bus.faults(0).silent = true;
    bus.queueStale(0, Report{0, 0x99, 'O'});
    EXPECT_EQ(link.SendFirmwareLine(handle, ":00\r\n"), 0)
        << "a stale report's byte 2 is no answer, and the wait ends at its bound";
}

TEST_F(Bootloader, NoHandleSendsNothing)
{
    EXPECT_EQ(link.SendFirmwareLine(0, ":00\r\n"), 0);
    EXPECT_TRUE(bus.log().empty());
}

TEST_F(Bootloader, StopsAtFinished)
{
    const auto result = sendImage(link, handle, imageOf(":01\r\n:00000001FF\r\n:02\r\n:"), {});
    EXPECT_EQ(result.outcome, SendOutcome::Finished);
    EXPECT_EQ(bus.box(0).bootloaderLines(), (std::vector<std::string>{":01\r\n", ":00000001FF\r\n"}));
}

TEST_F(Bootloader, StopsAtTheFirstOtherAnswerWithNothingMoreSent)
{
    bus.box(0).setLineAnswer([](const std::string&, std::size_t i) { return std::uint8_t(i == 1 ? 'o' : 'O'); });
    std::vector<std::string> progressed;
    const FirmwareImage image = imageOf(":01\r\n:02\r\n:03\r\n:");
    const auto result =
        sendImage(link, handle, image, [&](const ImageLine& line) { progressed.emplace_back(image.lineText(line)); });
    EXPECT_EQ(result.outcome, SendOutcome::Failed);
    EXPECT_EQ(result.lastStatus, 'o');
    EXPECT_EQ(bus.requestsTo(0).size(), 2u);
    EXPECT_EQ(progressed, (std::vector<std::string>{":01\r\n", ":02\r\n"})) << "progress after every answer";
}

TEST_F(Bootloader, BeepsJustBeforeTheEndOfFileRecordGoes)
{
    std::vector<int> beepsWhenSent;
    bus.box(0).setLineAnswer([&](const std::string&, std::size_t) {
        beepsWhenSent.push_back(services.beeps);
        return std::uint8_t{'O'};
    });
    const auto result = sendImage(link, handle, imageOf(":01\r\n:00000001FF\r\n;\r\n"), {});
    EXPECT_EQ(result.outcome, SendOutcome::EndOfText);
    EXPECT_EQ(beepsWhenSent, (std::vector<int>{0, 1}));
}

// The box after its reset: gone for a number of open attempts.
class Reopen : public ::testing::Test {
protected:
    void resetWithFailedOpens(int failed)
    {
        bus.addBox({});
        bus.faults(0).failedOpensAfterReset = failed;
        USB_IO io{bus};
        ASSERT_EQ(io.Connect(), 1);
        io.ResetCPU();
        io.Disconnect();
    }
    sim::SimBackend bus;
    testing::RecordingServices services;
};

TEST_F(Reopen, BackOnTheThirdAttempt)
{
    resetWithFailedOpens(2);
    const std::size_t opensBefore = bus.openCallsOf(bus.pathOf(0));
    EXPECT_GT(reopenAfterReset(bus, bus.pathOf(0)), 0);
    EXPECT_EQ(bus.openCallsOf(bus.pathOf(0)) - opensBefore, 3u);
    EXPECT_EQ(services.sleeps, (std::vector<std::chrono::milliseconds>(3, 2000ms))) << "a wait before each attempt";
}

TEST_F(Reopen, NotBackWithinThirtyFiveAttempts)
{
    resetWithFailedOpens(-1);
    const std::size_t opensBefore = bus.openCallsOf(bus.pathOf(0));
    EXPECT_EQ(reopenAfterReset(bus, bus.pathOf(0)), 0);
    EXPECT_EQ(bus.openCallsOf(bus.pathOf(0)) - opensBefore, 35u);
    EXPECT_EQ(services.sleeps.size(), 35u);
}

}  // namespace
}  // namespace iox::firmware
