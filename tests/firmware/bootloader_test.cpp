// The bootloader protocol on the simulated box: the line request, the answer, bounded
// waits, and when sending an image stops.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/sim/sim_backend.h"
#include "firmware/bootloader_protocol.h"
#include "firmware/firmware_update.h"
#include "tests/support/recording_services.h"

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
    testing::RecordingServices services;
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

TEST_F(Bootloader, SendingStopsAtFAtAnyOtherAnswerOrAtTheEndOfTheText)
{
    struct Case {
        const char* text;
        std::uint8_t secondAnswer;
        SendOutcome outcome;
        std::vector<std::string> sent;
        std::vector<int> beepsWhenSent;
    };
    const Case cases[] = {
        {":01\r\n:00000001FF\r\n:02\r\n:", 'F', SendOutcome::Finished, {":01\r\n", ":00000001FF\r\n"}, {0, 1}},
        {":01\r\n:02\r\n:03\r\n:", 'o', SendOutcome::Failed, {":01\r\n", ":02\r\n"}, {0, 0}},
        {":01\r\n:00000001FF\r\n;\r\n", 'O', SendOutcome::EndOfText, {":01\r\n", ":00000001FF\r\n"}, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        bus.box(0).enterBootloader();  // 'F' started the firmware
        services.beeps = 0;
        std::vector<int> beepsWhenSent;
        std::vector<std::string> received;
        bus.box(0).setLineAnswer([&](const std::string& line, std::size_t) {
            beepsWhenSent.push_back(services.beeps);
            received.push_back(line);
            return std::uint8_t(received.size() == 2 ? c.secondAnswer : 'O');
        });
        std::vector<std::string> progressed;
        const FirmwareImage image = checkImageText(c.text, QStringLiteral("t.hex")).image.value_or(FirmwareImage{});
        const auto result = sendImage(link, handle, image, [&](const ImageLine& line) {
            progressed.emplace_back(image.lineText(line));
        });
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(result.lastStatus, c.secondAnswer);
        EXPECT_EQ(received, c.sent);
        EXPECT_EQ(result.linesSent, c.sent.size());
        EXPECT_EQ(progressed, c.sent) << "progress after every answer";
        EXPECT_EQ(beepsWhenSent, c.beepsWhenSent);
    }
}

}  // namespace
}  // namespace iox::firmware
