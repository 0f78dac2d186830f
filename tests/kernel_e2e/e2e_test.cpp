// The production HID path end to end: HidapiBackend and USB_IO against virtual boxes that
// live in the kernel (uhid), reached through the HID core, hidraw and hidapi. Runs as root
// in a guest that has /dev/uhid; uhid_box, started by this program, plays the boxes and
// reports back every output report exactly as the kernel handed it over.
//
// The cases share one bus and run in the order written: later ones rely on the boxes the
// earlier ones left.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "box_control.h"
#include "device/commands.h"
#include "device/hidapi_backend.h"
#include "device/usb_io.h"

namespace iox::kernel_e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::unique_ptr<BoxControl> g_boxes;
std::unique_ptr<HidapiBackend> g_backend;

constexpr int kBox = 0;       // slot of the first box, serial 10001
constexpr int kSecond = 1;    // slot of the second box, serial 20002
constexpr int kOther = 9;     // a HID device that is not a box
constexpr std::uint16_t kOtherVendor = 0x1234, kOtherProduct = 0x5678;

std::string hex(const Report& report)
{
    std::string text;
    char byte[3];
    for (auto b : report) {
        std::snprintf(byte, sizeof byte, "%02x", b);
        text += byte;
    }
    return text;
}

// A request as the box must receive it: report number 0, the code, the arguments, zeros.
Report request(std::uint8_t code, std::vector<std::uint8_t> args = {})
{
    Report r{};
    r[1] = code;
    for (std::size_t i = 0; i < args.size(); ++i)
        r[2 + i] = args[i];
    return r;
}

// What the box sees of a host write of that request through hidraw: all 65 bytes, as an
// output report (uhid's rtype 1).
std::string onWire(const Report& r) { return "out 65 1 " + hex(r); }

std::vector<HidInterface> boxesListed()
{
    std::vector<HidInterface> boxes;
    for (const auto& hid : g_backend->enumerate())
        if (hid.vendorId == kBoxVendorId && hid.productId == kBoxProductId)
            boxes.push_back(hid);
    return boxes;
}

// The kernel adds and removes HID devices on a worker: wait until the listing has n boxes.
bool waitForBoxCount(std::size_t n, std::chrono::milliseconds bound = 10s)
{
    const auto deadline = Clock::now() + bound;
    while (Clock::now() < deadline) {
        if (boxesListed().size() == n)
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return boxesListed().size() == n;
}

std::chrono::milliseconds since(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// Field "key=value" of a state reply.
std::string stateOf(int slot, const std::string& key)
{
    const std::string state = " " + g_boxes->send("state " + std::to_string(slot)) + " ";
    const auto at = state.find(" " + key + "=");
    if (at == std::string::npos)
        return "?";
    const auto from = at + key.size() + 2;
    return state.substr(from, state.find(' ', from) - from);
}

class KernelPath : public ::testing::Test {
protected:
    // Clears what the box has received, so that the next check sees one call's requests.
    void forget(int slot = kBox) { g_boxes->take(slot); }
    void expectReceived(const Report& r, int slot = kBox)
    {
        EXPECT_EQ(g_boxes->take(slot), std::vector<std::string>{onWire(r)});
    }
};

TEST_F(KernelPath, DiscoveryFindsTheBoxBehindAnotherHidDeviceAndConnectsBySerial)
{
    ASSERT_EQ(g_boxes->send("create " + std::to_string(kOther) + " 999 1234 5678"), "ok");
    ASSERT_EQ(g_boxes->send("create " + std::to_string(kBox) + " 10001"), "ok");
    ASSERT_TRUE(waitForBoxCount(1));

    bool otherListed = false;
    for (const auto& hid : g_backend->enumerate())
        otherListed |= hid.vendorId == kOtherVendor && hid.productId == kOtherProduct;
    EXPECT_TRUE(otherListed) << "the non-box uhid device is missing from the listing";

    USB_IO io{*g_backend};
    std::string list = "unchanged";
    EXPECT_EQ(io.Get_Available_SN_List(list), 1);
    EXPECT_EQ(list, "10001");
    EXPECT_EQ(io.Connect("10002"), 0);
    EXPECT_EQ(io.GetUSBDeviceHandle(), 0);
    ASSERT_EQ(io.Connect("10001"), 1);
    EXPECT_EQ(io.GetUSBDeviceName(), boxesListed().at(0).path);
    EXPECT_EQ(io.GetUSBDeviceName().rfind("/dev/hidraw", 0), 0u) << io.GetUSBDeviceName();
    std::string sn, model;
    EXPECT_EQ(io.Read_SN(sn), 1);
    EXPECT_EQ(sn, "10001");
    EXPECT_EQ(io.Read_ModelName(model), 1);
    EXPECT_EQ(model, "IOX-MODEL-C");
    std::printf("[ kernel   ] box at %s\n", io.GetUSBDeviceName().c_str());
}

TEST_F(KernelPath, TwoBoxesAreListedInOrderAndEachConnectsByItsSerial)
{
    ASSERT_EQ(g_boxes->send("create " + std::to_string(kSecond) + " 20002"), "ok");
    ASSERT_TRUE(waitForBoxCount(2));

    USB_IO io{*g_backend};
    std::string list;
    EXPECT_EQ(io.Get_Available_SN_List(list), 2);
    EXPECT_EQ(list, "10001 20002");

    std::string sn;
    ASSERT_EQ(io.Connect("20002"), 1);
    EXPECT_EQ(io.GetUSBDeviceName(), boxesListed().at(1).path);
    EXPECT_EQ(io.Read_SN(sn), 1);
    EXPECT_EQ(sn, "20002");
    EXPECT_EQ(io.Connect("10001"), 2);  // already connected: nothing changes
    io.Disconnect();

    ASSERT_EQ(io.Connect(), 1);  // no serial number: the box listed first
    EXPECT_EQ(io.Read_SN(sn), 1);
    EXPECT_EQ(sn, "10001");
    io.Disconnect();

    ASSERT_EQ(g_boxes->send("destroy " + std::to_string(kSecond)), "ok");
    ASSERT_TRUE(waitForBoxCount(1));
    EXPECT_EQ(io.Get_Available_SN_List(list), 1);
    EXPECT_EQ(list, "10001");
}

TEST_F(KernelPath, EveryCommandArrivesWithItsBytesAndTheBoxStateFollows)
{
    USB_IO io{*g_backend};
    ASSERT_EQ(io.Connect("10001"), 1);
    forget();
    std::uint8_t value = 0;

    EXPECT_EQ(io.Set_ByteA_As_Output(), 1);
    expectReceived(request(cmd::SetByteAAsOutput));
    EXPECT_EQ(io.Set_ByteB_As_Output(), 1);
    expectReceived(request(cmd::SetByteBAsOutput));
    EXPECT_EQ(io.Set_ByteA(0xA5), 1);
    expectReceived(request(cmd::SetByte, {'A', 0xA5}));
    EXPECT_EQ(io.ReadByteA(value), 1);
    expectReceived(request(cmd::ReadByteA));
    EXPECT_EQ(value, 0xA5);
    EXPECT_EQ(io.Set_ByteB(0x3C), 1);
    expectReceived(request(cmd::SetByte, {'B', 0x3C}));
    EXPECT_EQ(io.ReadByte("B", value), 1);
    expectReceived(request(cmd::ReadByteB));
    EXPECT_EQ(value, 0x3C);

    EXPECT_EQ(io.Set_RelayByte(0x81), 1);
    expectReceived(request(cmd::SetRelayByte, {0x81}));
    std::int16_t relay = 3, on = 1;
    EXPECT_EQ(io.Set_Relay(relay, on), 1);
    expectReceived(request(cmd::SetRelay, {3, 1}));
    relay = 9;
    on = 5;
    EXPECT_EQ(io.Set_Relay(relay, on), 1);  // clamped to relay 7, on
    expectReceived(request(cmd::SetRelay, {7, 1}));
    EXPECT_EQ(io.Read_Relays_Byte(value), 1);
    expectReceived(request(cmd::ReadRelaysByte));
    EXPECT_EQ(value, 0x89);

    EXPECT_EQ(io.ReadBit("B2", value), 1);  // 0x3C has line 2 high
    expectReceived(request(cmd::ReadBit, {'B', 2}));
    EXPECT_EQ(value, 1);
    EXPECT_EQ(io.Set_TTLBit("B2", 0), 1);
    expectReceived(request(cmd::SetTtlBit, {'B', 2, 0}));
    EXPECT_EQ(io.ReadBit("B2", value), 1);
    expectReceived(request(cmd::ReadBit, {'B', 2}));
    EXPECT_EQ(value, 0);
    EXPECT_EQ(io.Set_TTLBit("B7", 1), 1);
    expectReceived(request(cmd::SetTtlBit, {'B', 7, 1}));
    EXPECT_EQ(io.ReadByteB(value), 1);
    expectReceived(request(cmd::ReadByteB));
    EXPECT_EQ(value, 0xB8);
    EXPECT_EQ(io.Set_TTLPulse("A1", 25), 1);
    expectReceived(request(cmd::SetTtlPulse, {'A', 1, 25}));

    std::int16_t width = 300;
    EXPECT_EQ(io.Set_SPI_PulseWidth(width), 1);
    EXPECT_EQ(width, 255);
    expectReceived(request(cmd::SetSpiPulseWidth, {255}));
    EXPECT_EQ(io.SPI_OUT("B0", "B1", "B2", "1011"), 1);
    expectReceived(request(cmd::SpiOut, {'B', 0, 'B', 1, 'B', 2, 4, 1, 0, 1, 1}));
    EXPECT_EQ(io.SPI_OUT_Trigg("101", 1), 1);
    expectReceived(request(cmd::SpiOutTrigg, {3, 1, 1, 0, 1}));

    std::uint8_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    std::string revision;
    EXPECT_EQ(io.GetExtFirmware(a0, a1, a2, a3, revision), 3);
    expectReceived(request(cmd::GetExtFirmware));
    EXPECT_EQ(std::vector<int>({a0, a1, a2, a3}), std::vector<int>({3, 1, 0, 0}));
    EXPECT_EQ(revision, "A3");

    EXPECT_EQ(io.Set_ByteA_As_Input(), 1);
    expectReceived(request(cmd::SetByteAAsInput));
    EXPECT_EQ(io.Set_ByteB_As_Input(), 1);
    expectReceived(request(cmd::SetByteBAsInput));

    // The box model saw the same effects as on the simulated bus.
    EXPECT_EQ(stateOf(kBox, "relays"), "137");
    EXPECT_EQ(stateOf(kBox, "a"), "165");
    EXPECT_EQ(stateOf(kBox, "b"), "184");
    EXPECT_EQ(stateOf(kBox, "pulsewidth"), "255");
    EXPECT_EQ(stateOf(kBox, "spiwords"), "2");
    EXPECT_EQ(stateOf(kBox, "pulses"), "1");
    EXPECT_EQ(stateOf(kBox, "aout"), "0");
    EXPECT_EQ(stateOf(kBox, "bout"), "0");
    EXPECT_EQ(io.Set_ByteA_As_Output(), 1);
    EXPECT_EQ(io.Set_ByteB_As_Output(), 1);
}

TEST_F(KernelPath, AnswersArriveAtBytesOneToSixtyFourBehindAZeroReportId)
{
    USB_IO io{*g_backend};
    ASSERT_EQ(io.Connect("10001"), 1);
    const HidHandle handle = io.GetUSBDeviceHandle();
    ASSERT_TRUE(g_backend->write(handle, request(cmd::ReadSn)));
    Report answer{};
    answer.fill(0xEE);
    ASSERT_TRUE(g_backend->read(handle, answer, 2000ms));
    Report expected = request(cmd::ReadSn, {'1', '0', '0', '0', '1'});
    EXPECT_EQ(hex(answer), hex(expected));

    // A full report, last byte included, lands at bytes 1 to 64 unshifted.
    std::string payload;
    for (int i = 1; i <= 64; ++i) {
        char byte[3];
        std::snprintf(byte, sizeof byte, "%02x", i);
        payload += byte;
    }
    ASSERT_EQ(g_boxes->send("stale " + std::to_string(kBox) + " " + payload), "ok");
    answer.fill(0xEE);
    ASSERT_TRUE(g_backend->read(handle, answer, 2000ms));
    EXPECT_EQ(answer[0], 0);
    for (int i = 1; i <= 64; ++i)
        EXPECT_EQ(answer[static_cast<std::size_t>(i)], i) << "byte " << i;
}

TEST_F(KernelPath, StaleReportsInTheQueueAreDiscarded)
{
    USB_IO io{*g_backend};
    ASSERT_EQ(io.Connect("10001"), 1);
    std::uint8_t value = 0;
    ASSERT_EQ(io.Set_ByteA(0x42), 1);

    // An answer to another command waits in hidraw's queue: the exchange reads past it.
    ASSERT_EQ(g_boxes->send("stale " + std::to_string(kBox) + " 28ee"), "ok");  // code 40 = 0x28
    EXPECT_EQ(io.ReadByteA(value), 1);
    EXPECT_EQ(value, 0x42);

    // The queue really holds what the box sent: a stale report with the echo of the next
    // request is taken for its answer, and the real answer is then stale for the one after.
    ASSERT_EQ(g_boxes->send("stale " + std::to_string(kBox) + " 1c5a"), "ok");  // code 28 = 0x1c
    EXPECT_EQ(io.ReadByteA(value), 1);
    EXPECT_EQ(value, 0x5A);
    EXPECT_EQ(io.Read_Relays_Byte(value), 1);
    EXPECT_EQ(value, 0x89);
    EXPECT_EQ(io.ReadByteA(value), 1);
    EXPECT_EQ(value, 0x42);
}

// hidraw hands every input report to every open file of the device, so the answers that a
// listing reads on its own short-lived handles also queue up on the open connection. The
// connection's next exchanges discard them as stale and get their own answers.
TEST_F(KernelPath, ListingWhileConnectedLeavesCopiesThatTheConnectionDiscards)
{
    USB_IO io{*g_backend};
    ASSERT_EQ(io.Connect("10001"), 1);
    const HidHandle handle = io.GetUSBDeviceHandle();
    ASSERT_EQ(io.Set_RelayByte(0x24), 1);
    std::string list;
    EXPECT_EQ(io.Get_Available_SN_List(list), 1);
    EXPECT_EQ(list, "10001");
    EXPECT_EQ(io.GetUSBDeviceHandle(), handle);

    Report copy{};
    ASSERT_TRUE(g_backend->read(handle, copy, 1000ms)) << "no copy of the listing's answer";
    EXPECT_EQ(hex(copy), hex(request(cmd::ReadSn, {'1', '0', '0', '0', '1'})));

    EXPECT_EQ(io.Get_Available_SN_List(list), 1);
    std::uint8_t value = 0;
    EXPECT_EQ(io.Read_Relays_Byte(value), 1);
    EXPECT_EQ(value, 0x24);
    ASSERT_EQ(io.Set_RelayByte(0x89), 1);
}

TEST_F(KernelPath, ASilentBoxEndsTheExchangeAtTheBound)
{
    USB_IO io{*g_backend};
    ASSERT_EQ(io.Connect("10001"), 1);
    ASSERT_EQ(g_boxes->send("silent " + std::to_string(kBox) + " 1"), "ok");
    forget();
    io.setExchangeTimeout(400ms);
    std::uint8_t value = 7;
    const auto start = Clock::now();
    EXPECT_EQ(io.ReadByteA(value), 0);
    const auto took = since(start);
    EXPECT_EQ(value, 0);
    expectReceived(request(cmd::ReadByteA));  // the request arrived; no answer came
    EXPECT_GE(took, 380ms) << "the exchange gave up before its bound";
    EXPECT_LT(took, 3400ms) << "the exchange outlived its bound";

    ASSERT_EQ(g_boxes->send("silent " + std::to_string(kBox) + " 0"), "ok");
    io.setExchangeTimeout(USB_IO::kDefaultExchangeTimeout);
    std::string sn;
    EXPECT_EQ(io.Read_SN(sn), 1);
    EXPECT_EQ(sn, "10001");
}

// Marks the box for an update, resets it, waits for it under the same path, and hands its
// bootloader two image lines.
TEST_F(KernelPath, UpdateFlagResetAndTheBootloaderBackUnderTheSamePath)
{
    USB_IO io{*g_backend};
    ASSERT_EQ(io.Connect("10001"), 1);
    const HidHandle handle = io.GetUSBDeviceHandle();
    const std::string path = io.GetUSBDeviceName();
    forget();

    const Report flag = request(cmd::UpdateFlag, {0x7A, 0xFF, 0x01, 'Y'});
    ASSERT_TRUE(g_backend->write(handle, flag));
    Report answer{};
    ASSERT_TRUE(g_backend->read(handle, answer, 2000ms));
    EXPECT_EQ(answer[1], cmd::UpdateFlag);
    expectReceived(flag);
    EXPECT_EQ(stateOf(kBox, "flag"), "1");

    const std::string generation = stateOf(kBox, "generation");
    ASSERT_EQ(g_boxes->send("reset-timing " + std::to_string(kBox) + " 100 800"), "ok");
    EXPECT_EQ(io.ResetCPU(), 1);
    expectReceived(request(cmd::ResetCpu, {101, 102, 103}));

    // The old device has left: its handle fails at once and the listing loses the box.
    const auto start = Clock::now();
    EXPECT_FALSE(g_backend->read(handle, answer, 5000ms));
    EXPECT_LT(since(start), 2500ms) << "a read on the unplugged box waited for its timeout";
    io.Disconnect();
    EXPECT_EQ(stateOf(kBox, "present"), "0");

    // Reopen the path as the updater does, without searching again.
    HidHandle reopened = 0;
    for (int attempt = 0; attempt < 100 && reopened == 0; ++attempt) {
        std::this_thread::sleep_for(100ms);
        reopened = g_backend->open(path);
    }
    ASSERT_NE(reopened, 0) << "the box did not come back at " << path;
    EXPECT_NE(stateOf(kBox, "generation"), generation) << "not a new uhid device";
    const auto listed = boxesListed();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].path, path);
    std::printf("[ kernel   ] after the reset the box is a new uhid device at %s (%s path)\n",
                listed[0].path.c_str(), listed[0].path == path ? "same" : "another");
    EXPECT_EQ(stateOf(kBox, "bootloader"), "1");

    auto sendLine = [&](const std::string& line) -> std::uint8_t {
        Report rq{};
        for (std::size_t i = 0; i < line.size(); ++i)
            rq[1 + i] = static_cast<std::uint8_t>(line[i]);
        if (!g_backend->write(reopened, rq))
            return 0;
        Report a{};
        if (!g_backend->read(reopened, a, 3000ms) || a[1] != rq[1])
            return 0;
        expectReceived(rq);
        return a[2];
    };
    forget();
    EXPECT_EQ(sendLine(":100000000C9434000C943E000C943E000C943E0082\r\n"), 'O');
    EXPECT_EQ(sendLine(":10001000C943E000C943E000C943E000C943E0068\r\n"), 'O');
    EXPECT_EQ(sendLine(":00000001FF\r\n"), 'F');
    EXPECT_EQ(stateOf(kBox, "lines"), "3");
    EXPECT_EQ(stateOf(kBox, "bootloader"), "0");
    g_backend->close(reopened);

    // The new firmware runs: the box answers commands again.
    USB_IO after{*g_backend};
    ASSERT_EQ(after.Connect("10001"), 1);
    std::uint8_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    std::string revision;
    EXPECT_EQ(after.GetExtFirmware(a0, a1, a2, a3, revision), 3);
}

// A box that resets the instant it has answered. When the unplug is seen before the host
// has read the answer, hidraw reports both together and hidapi fails the read rather than
// deliver it, so the status depends on who runs first. Either way ResetCPU ends at once,
// and the box comes back in its application firmware.
TEST_F(KernelPath, ResetCpuEndsAtOnceWhenTheBoxLeavesRightAfterItsAnswer)
{
    USB_IO io{*g_backend};
    ASSERT_EQ(io.Connect("10001"), 1);
    const std::string path = io.GetUSBDeviceName();
    EXPECT_EQ(stateOf(kBox, "flag"), "0");
    const std::string generation = stateOf(kBox, "generation");
    ASSERT_EQ(g_boxes->send("reset-timing " + std::to_string(kBox) + " 0 300"), "ok");
    io.setExchangeTimeout(6000ms);
    const auto start = Clock::now();
    const auto status = io.ResetCPU();
    const auto took = since(start);
    EXPECT_LT(took, 3000ms) << "ResetCPU waited for its bound after the box had gone";
    std::printf("[ kernel   ] ResetCPU answered and unplugged at once: status %d\n", int(status));
    io.Disconnect();

    // Wait for the new uhid device, then for the kernel to list it.
    const auto deadline = Clock::now() + 10s;
    while (stateOf(kBox, "generation") == generation && Clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ASSERT_NE(stateOf(kBox, "generation"), generation) << "the box did not come back";
    ASSERT_TRUE(waitForBoxCount(1));
    ASSERT_EQ(io.Connect(), 1);
    EXPECT_EQ(io.GetUSBDeviceName(), path);
    EXPECT_EQ(stateOf(kBox, "bootloader"), "0");
    std::string sn;
    EXPECT_EQ(io.Read_SN(sn), 1);
    EXPECT_EQ(sn, "10001");
}

TEST_F(KernelPath, ABoxDestroyedDuringAReadFailsTheReadAtOnce)
{
    USB_IO io{*g_backend};
    ASSERT_EQ(io.Connect("10001"), 1);
    io.setExchangeTimeout(6000ms);
    ASSERT_EQ(g_boxes->send("vanish-on-next " + std::to_string(kBox) + " 300"), "ok");
    std::uint8_t value = 7;
    const auto start = Clock::now();
    EXPECT_EQ(io.ReadByteA(value), 0);
    const auto took = since(start);
    EXPECT_EQ(value, 0);
    EXPECT_LT(took, 3000ms) << "the read waited for the bound instead of failing with the device";
    EXPECT_EQ(stateOf(kBox, "present"), "0");

    // The dead handle keeps failing without waiting; nothing is found any more.
    EXPECT_EQ(io.ReadByteA(value), 0);
    io.Disconnect();
    ASSERT_TRUE(waitForBoxCount(0));
    EXPECT_EQ(io.Connect("10001"), 0);
    EXPECT_EQ(io.Connect(), 0);
    std::string list = "unchanged";
    EXPECT_EQ(io.Get_Available_SN_List(list), 0);
    EXPECT_EQ(list, "unchanged");
}

}  // namespace
}  // namespace iox::kernel_e2e

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // uhid_box lies beside this program unless named on the command line.
    std::string box = argc > 1 ? argv[1] : std::string(argv[0]);
    if (argc <= 1) {
        const auto slash = box.rfind('/');
        box = (slash == std::string::npos ? std::string(".") : box.substr(0, slash)) + "/uhid_box";
    }
    iox::kernel_e2e::g_boxes = std::make_unique<iox::kernel_e2e::BoxControl>(box);
    iox::kernel_e2e::g_backend = std::make_unique<iox::HidapiBackend>();
    if (!iox::kernel_e2e::g_boxes->running()) {
        std::fprintf(stderr, "cannot start %s\n", box.c_str());
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    iox::kernel_e2e::g_backend.reset();
    iox::kernel_e2e::g_boxes.reset();
    return result;
}
