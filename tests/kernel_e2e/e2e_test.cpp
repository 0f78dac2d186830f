// HidapiBackend and USB_IO against virtual boxes in the kernel (uhid, HID core, hidraw, hidapi),
// as root where /dev/uhid is. uhid_box, started here, plays the boxes and reports back every
// output report the kernel handed it. The cases run in order, on the boxes the first makes.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "device/commands.h"
#include "device/hidapi_backend.h"
#include "tests/device/wire_table.h"

namespace iox::kernel_e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::request;

// uhid_box on one socket as its stdin and stdout: one command a line, one reply line each.
std::FILE* g_box = nullptr;
std::unique_ptr<HidapiBackend> g_backend;

std::string replyLine()
{
    char line[4096];
    return std::fgets(line, sizeof line, g_box) ? std::string(line, std::strcspn(line, "\n")) : "";
}

// The reply line ("ok ..." or "error ..."); empty when the program is gone.
std::string boxCommand(const std::string& verb, int slot = 0, const std::string& args = "")
{
    std::fprintf(g_box, "%s %d %s\n", verb.c_str(), slot, args.c_str());
    std::fflush(g_box);
    return replyLine();
}

constexpr int kBox = 0;     // slot of the first box, serial 10001
constexpr int kSecond = 1;  // slot of the second box, serial 20002
constexpr int kOther = 9;   // a HID device that is not a box

std::string hex(const Report& report)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (auto b : report)
        text += {kDigits[b >> 4], kDigits[b & 15]};
    return text;
}

// The next input report on the handle, as hex; 0xEE shows the bytes a read leaves alone.
std::string answerOn(HidHandle handle, std::chrono::milliseconds wait = 2000ms)
{
    Report answer;
    answer.fill(0xEE);
    return g_backend->read(handle, answer, wait) ? hex(answer) : "no answer";
}

std::vector<std::string> boxesListed()
{
    std::vector<std::string> boxes;
    for (const auto& hid : g_backend->enumerate())
        if (hid.vendorId == kBoxVendorId && hid.productId == kBoxProductId)
            boxes.push_back(hid.path);
    return boxes;
}

// Up to 10 s: the kernel adds and removes HID devices on a worker.
bool eventually(const std::function<bool()>& done)
{
    for (const auto deadline = Clock::now() + 10s; Clock::now() < deadline; std::this_thread::sleep_for(20ms))
        if (done())
            return true;
    return false;
}
bool waitForBoxCount(std::size_t n) { return eventually([n] { return boxesListed().size() == n; }); }

// The first box's state reply without its generation, which counts the uhid devices it has been.
const std::regex kGeneration(" generation=(\\S+)");
std::string state() { return std::regex_replace(boxCommand("state", kBox), kGeneration, ""); }
std::string generation()
{
    std::smatch field;
    const std::string reply = boxCommand("state", kBox);
    return std::regex_search(reply, field, kGeneration) ? field[1].str() : "?";
}

class KernelPath : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(io.Connect("10001"), 1); }
    // The output reports the box received since the last take, as "out <size> <rtype> <hex>".
    static std::vector<std::string> take()
    {
        std::vector<std::string> reports;
        for (std::string line = boxCommand("take", kBox); !line.empty() && line != "end"; line = replyLine())
            reports.push_back(line);
        return reports;
    }
    // A host write through hidraw as the box sees it: all 65 bytes, an output report (rtype 1).
    void expectReceived(const Report& r) { EXPECT_EQ(take(), std::vector<std::string>{"out 65 1 " + hex(r)}); }
    std::pair<int, int> read(std::int16_t (USB_IO::*call)(std::uint8_t&))
    {
        std::uint8_t value = 7;
        const int status = (io.*call)(value);
        return {status, value};
    }
    std::pair<int, std::string> text(std::int16_t (USB_IO::*call)(std::string&))
    {
        std::string value = "unchanged";
        const int status = (io.*call)(value);
        return {status, value};
    }

    USB_IO io{*g_backend};
};

class KernelDiscovery : public KernelPath {
    void SetUp() override {}  // the boxes are yet to be made
};

TEST_F(KernelDiscovery, PassesOverOtherHidDevicesListsInOrderAndConnectsBySerial)
{
    ASSERT_EQ(boxCommand("create", kOther, "999 1234 5678"), "ok");
    ASSERT_EQ(boxCommand("create", kBox, "10001"), "ok");
    ASSERT_TRUE(waitForBoxCount(1));  // one at a time, so that the listing's order is theirs
    ASSERT_EQ(boxCommand("create", kSecond, "20002"), "ok");
    ASSERT_TRUE(waitForBoxCount(2));
    EXPECT_TRUE(std::ranges::any_of(g_backend->enumerate(), [](const HidInterface& hid) {
        return hid.vendorId == 0x1234 && hid.productId == 0x5678;
    })) << "the non-box uhid device is missing from the listing";

    EXPECT_EQ(text(&USB_IO::Get_Available_SN_List), std::pair(2, std::string("10001 20002")));
    // The serial numbers are in the listing's order.
    ASSERT_EQ(io.Connect("20002"), 1);
    EXPECT_EQ(io.GetUSBDeviceName(), boxesListed().at(1));
    io.Disconnect();
    ASSERT_EQ(io.Connect(), 1);  // no serial number: the box listed first
    EXPECT_TRUE(io.GetUSBDeviceName() == boxesListed().at(0) && io.GetUSBDeviceName().starts_with("/dev/hidraw"))
        << io.GetUSBDeviceName();
    io.Disconnect();

    ASSERT_EQ(boxCommand("destroy", kSecond), "ok");
    ASSERT_TRUE(waitForBoxCount(1));
    EXPECT_EQ(text(&USB_IO::Get_Available_SN_List), std::pair(1, std::string("10001")));
}

TEST_F(KernelPath, EveryCommandArrivesWithItsExactBytesAndGetsItsAnswer)
{
    for (const auto& c : testing::wireCases()) {
        if (c.expected[1] == cmd::ResetCpu)
            continue;  // takes the box off the bus: the update case below sends it
        SCOPED_TRACE(c.name);
        take();
        EXPECT_EQ(c.call(io), c.result);
        expectReceived(c.expected);
    }
}

TEST_F(KernelPath, ReportsArriveWholeBehindAZeroReportIdStaleOnesAreDiscardedSilenceEndsAtTheBound)
{
    // A full report lands at bytes 1 to 64 unshifted.
    Report full{};
    for (std::size_t i = 1; i <= 64; ++i)
        full[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(boxCommand("stale", kBox, hex(full).substr(2)), "ok");
    EXPECT_EQ(answerOn(io.GetUSBDeviceHandle()), hex(full));

    ASSERT_EQ(io.Set_ByteA(0x42), 1);
    ASSERT_EQ(io.Set_RelayByte(0x89), 1);

    // The queue holds what the box sent: a stale echo of the next request is taken for its
    // answer, and the real answer is then stale for the one after.
    ASSERT_EQ(boxCommand("stale", kBox, "1c5a"), "ok");  // code 28 = 0x1c
    EXPECT_EQ(read(&USB_IO::ReadByteA), std::pair(1, 0x5A));
    EXPECT_EQ(read(&USB_IO::Read_Relays_Byte), std::pair(1, 0x89));
    EXPECT_EQ(read(&USB_IO::ReadByteA), std::pair(1, 0x42));

    ASSERT_EQ(boxCommand("silent", kBox, "1"), "ok");
    take();
    io.setExchangeTimeout(400ms);
    const auto start = Clock::now();
    EXPECT_EQ(read(&USB_IO::ReadByteA), std::pair(0, 0));
    const auto took = Clock::now() - start;
    expectReceived(request(cmd::ReadByteA));  // the request arrived; no answer came
    EXPECT_GE(took, 380ms) << "the exchange gave up before its bound";
    EXPECT_LT(took, 3400ms) << "the exchange outlived its bound";

    ASSERT_EQ(boxCommand("silent", kBox, "0"), "ok");
    EXPECT_EQ(text(&USB_IO::Read_SN), std::pair(1, std::string("10001")));
}

TEST_F(KernelPath, UpdateFlagResetAndTheBootloaderBackUnderTheSamePath)
{
    const HidHandle handle = io.GetUSBDeviceHandle();
    const std::string path = io.GetUSBDeviceName();
    take();
    const Report flag = request(cmd::UpdateFlag, {0x7A, 0xFF, 0x01, 'Y'});
    ASSERT_TRUE(g_backend->write(handle, flag));
    EXPECT_EQ(answerOn(handle).substr(0, 4), hex(flag).substr(0, 4));
    expectReceived(flag);
    EXPECT_EQ(state(), "ok present=1 flag=1 bootloader=0 lines=0");

    const std::string before = generation();
    ASSERT_EQ(boxCommand("reset-timing", kBox, "100 800"), "ok");
    EXPECT_EQ(io.ResetCPU(), 1);
    expectReceived(request(cmd::ResetCpu, {101, 102, 103}));

    // The old device has left: its handle fails at once.
    const auto start = Clock::now();
    EXPECT_EQ(answerOn(handle, 5000ms), "no answer");
    EXPECT_LT(Clock::now() - start, 2500ms) << "a read on the unplugged box waited for its timeout";
    io.Disconnect();
    EXPECT_EQ(state(), "ok present=0 flag=1 bootloader=0 lines=0");

    // Reopen the path as the updater does, without searching again.
    HidHandle reopened = 0;
    ASSERT_TRUE(eventually([&] { return (reopened = g_backend->open(path)) != 0; })) << "not back at " << path;
    EXPECT_NE(generation(), before) << "not a new uhid device";
    EXPECT_EQ(boxesListed(), std::vector{path});
    EXPECT_EQ(state(), "ok present=1 flag=1 bootloader=1 lines=0");

    take();
    for (const auto& [line, status] : std::vector<std::pair<std::string, std::uint8_t>>{
             {":100000000C9434000C943E000C943E000C943E0082\r\n", 'O'}, {":00000001FF\r\n", 'F'}}) {
        Report rq{};
        std::copy(line.begin(), line.end(), rq.begin() + 1);
        ASSERT_TRUE(g_backend->write(reopened, rq));
        EXPECT_EQ(answerOn(reopened, 3000ms).substr(0, 6), hex(request(rq[1], {status})).substr(0, 6));
        expectReceived(rq);
    }
    EXPECT_EQ(state(), "ok present=1 flag=0 bootloader=0 lines=2");
    g_backend->close(reopened);  // the next case connects to the new firmware
}

TEST_F(KernelPath, ABoxDestroyedDuringAReadFailsTheReadAtOnce)
{
    io.setExchangeTimeout(6000ms);
    ASSERT_EQ(boxCommand("vanish-on-next", kBox, "300"), "ok");
    const auto start = Clock::now();
    EXPECT_EQ(read(&USB_IO::ReadByteA), std::pair(0, 0));
    EXPECT_LT(Clock::now() - start, 3000ms) << "the read waited for the bound instead of failing with the device";
    EXPECT_EQ(state().substr(0, 13), "ok present=0 ");

    EXPECT_EQ(read(&USB_IO::ReadByteA).first, 0) << "the dead handle keeps failing";
    io.Disconnect();
}

}  // namespace
}  // namespace iox::kernel_e2e

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    int fds[2];
    if (argc != 2 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        std::fprintf(stderr, "usage: %s UHID_BOX\n", argv[0]);
        return 2;
    }
    const pid_t box = ::fork();
    if (box == 0) {
        ::dup2(fds[1], STDIN_FILENO);
        ::dup2(fds[1], STDOUT_FILENO);
        ::execl(argv[1], argv[1], static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    iox::kernel_e2e::g_box = ::fdopen(fds[0], "r+");
    iox::kernel_e2e::g_backend = std::make_unique<iox::HidapiBackend>();
    const int result = RUN_ALL_TESTS();
    iox::kernel_e2e::g_backend.reset();
    std::fputs("quit\n", iox::kernel_e2e::g_box);
    std::fclose(iox::kernel_e2e::g_box);
    ::waitpid(box, nullptr, 0);
    return result;
}
