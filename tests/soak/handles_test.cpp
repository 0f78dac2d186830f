// No device handle or file left open: after Disconnect, after listing walks (boxes that
// refuse, vanish or stay silent included), after a refused firmware image, and after the
// panels close. Handles are counted by the simulated backend, files in /proc/self/fd.

#include <chrono>
#include <memory>
#include <string>

#include "device/sim/sim_backend.h"
#include "device/usb_io.h"
#include "firmware/fw_form.h"
#include "panels/io4.h"
#include "panels/main_panel.h"
#include "panels/main_window.h"
#include "session/session.h"
#include "tests/firmware/update_fixture.h"
#include "tests/soak/open_files.h"

namespace iox::testing {
namespace {

using namespace std::chrono_literals;

class DeviceHandles : public ::testing::Test {
protected:
    std::size_t add(const std::string& serial)
    {
        sim::BoxConfig config;
        config.serial = serial;
        return bus.addBox(config);
    }
    sim::SimBackend bus;
};

TEST_F(DeviceHandles, DisconnectClosesTheConnection)
{
    add("10001");
    USB_IO io(bus);
    ASSERT_EQ(io.Connect(), 1);
    EXPECT_EQ(bus.openHandles(), 1u);
    io.Disconnect();
    EXPECT_EQ(bus.openHandles(), 0u);
}

// The shared device object goes before the backend it talks through: at the session's
// end, and when another backend takes over.
TEST_F(DeviceHandles, TheSharedDeviceNeverOutlivesItsBackend)
{
    add("10001");
    for (const bool ending : {true, false}) {
        auto other = std::make_unique<sim::SimBackend>();
        session::setDeviceBackend(*other, {});
        other->addBox({});
        ASSERT_EQ(session::sharedDevice().Connect(), 1);
        if (ending)
            session::endSession();
        else
            session::setDeviceBackend(bus, {});
        EXPECT_EQ(other->openHandles(), 0u) << ending;
        other.reset();
        EXPECT_FALSE(session::sharedDevice().isConnected()) << "a new object, on the backend in place now";
    }
    session::endSession();
}

TEST_F(DeviceHandles, DisconnectClosesTheHandleOfABoxThatVanished)
{
    const std::size_t box = add("10001");
    USB_IO io(bus);
    ASSERT_EQ(io.Connect(), 1);
    bus.vanish(box);
    std::uint8_t value = 0;
    EXPECT_EQ(io.ReadByteA(value), 0);
    io.Disconnect();
    EXPECT_EQ(bus.openHandles(), 0u);
}

TEST_F(DeviceHandles, ListingWalksLeaveNothingOpenButTheConnection)
{
    add("10001");
    bus.addInterface(0x1234, 0x0001);  // a keyboard, say
    const std::size_t held = add("10002");
    bus.faults(held).refuseOpen = true;
    const std::size_t quiet = add("10003");
    bus.faults(quiet).silent = true;
    add("10004");
    USB_IO io(bus);
    io.setExchangeTimeout(5ms);

    std::string list;
    const std::size_t opensBefore = bus.openCalls();
    io.Get_Available_SN_List(list);
    EXPECT_GT(bus.openCalls(), opensBefore);  // the walk did open every interface
    EXPECT_EQ(bus.openHandles(), 0u);
    EXPECT_EQ(list, "10001  10004");  // the silent box answers no serial number

    ASSERT_EQ(io.Connect("10004"), 1);  // a walk by serial number
    EXPECT_EQ(bus.openHandles(), 1u);
    const HidHandle handle = io.GetUSBDeviceHandle();
    io.Get_Available_SN_List(list);
    EXPECT_EQ(bus.openHandles(), 1u);
    EXPECT_EQ(io.GetUSBDeviceHandle(), handle);
    io.Disconnect();
    EXPECT_EQ(bus.openHandles(), 0u);
}

TEST_F(DeviceHandles, ABoxVanishingDuringAWalkLeavesNothingOpen)
{
    add("10001");
    const std::size_t leaving = add("10002");
    add("10003");
    // The box leaves in the middle of the walk, between two of its event pumps.
    std::size_t walks = 0;
    USB_IO io(bus, [&] {
        if (++walks == 3)
            bus.vanish(leaving);
    });
    std::string list;
    io.Get_Available_SN_List(list);
    EXPECT_EQ(bus.openHandles(), 0u);
    EXPECT_FALSE(bus.present(leaving));
}

TEST_F(DeviceHandles, ConnectThatFindsNoBoxLeavesNothingOpen)
{
    add("10001");
    add("10002");
    USB_IO io(bus);
    EXPECT_EQ(io.Connect("99999"), 0);
    EXPECT_EQ(bus.openHandles(), 0u);
}

class PanelHandles : public FirmwareTest {};

TEST_F(PanelHandles, ARefusedFirmwareImageLeavesTheConnectionAsItWasAndNoFileOpen)
{
    loadPanel();
    const std::size_t handles = bus.openHandles();
    const HidHandle connection = session::sharedDevice().GetUSBDeviceHandle();
    ASSERT_EQ(handles, 1u);
    for (const std::string& text : {std::string(), std::string(":00000001FF\r\n"),
                                    ":" + std::string(70, '0') + "\r\n" + kEndOfFile}) {
        QString path = writeImage(text);
        const std::size_t files = openFileCount();
        firmware::fwForm().UpdateFirmware(path);
        EXPECT_EQ(openFileCount(), files);
        EXPECT_EQ(bus.openHandles(), handles);
        EXPECT_EQ(session::sharedDevice().GetUSBDeviceHandle(), connection);
    }
    QString missing = folder() + QStringLiteral("/USB_IO_Firmware_none.hex");
    firmware::fwForm().UpdateFirmware(missing);
    EXPECT_EQ(bus.openHandles(), handles);
    EXPECT_EQ(services.messages.size(), 4u);
    EXPECT_TRUE(wire().empty());
}

TEST_F(PanelHandles, ASuccessfulUpdateLeavesOnlyTheRestartedPanelsConnectionAndNoFileOpen)
{
    loadPanel();
    QString path = writeImage(kData1 + kData2 + kEndOfFile);
    const std::size_t files = openFileCount();
    firmware::fwForm().UpdateFirmware(path);
    ASSERT_EQ(services.ends, 0);
    ASSERT_NE(panels::mainPanel(), nullptr);
    EXPECT_EQ(bus.openHandles(), 1u);
    EXPECT_EQ(openFileCount(), files);
}

TEST_F(PanelHandles, ClosingThePanelsClosesTheirConnections)
{
    loadPanel();
    EXPECT_EQ(bus.openHandles(), 1u);
    panels::unloadMainPanel();
    EXPECT_EQ(bus.openHandles(), 0u);

    sim::BoxConfig config;
    config.model = "IOX-MODEL-B";
    config.serial = "20002";
    bus.addBox(config);
    panels::IO4* io4 = panels::openCompactPanel(QStringLiteral("20002"), QStringLiteral("IO4"));
    ASSERT_NE(io4, nullptr);
    EXPECT_EQ(bus.openHandles(), 1u);
    io4->unload();
    EXPECT_EQ(bus.openHandles(), 0u);
}

}  // namespace
}  // namespace iox::testing
