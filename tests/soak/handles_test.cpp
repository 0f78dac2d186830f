// No file left open and the connection left as it was by a firmware update, refused or not.

#include <filesystem>
#include <memory>

#include "device/sim/sim_backend.h"
#include "firmware/fw_form.h"
#include "panels/main_panel.h"
#include "session/session.h"
#include "tests/firmware/update_fixture.h"

namespace iox::testing {
namespace {

// Counted from /proc/self/fd, the listing's own descriptor included: compare counts only.
std::size_t openFileCount()
{
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

// The shared device object goes before the backend it talks through: at the session's
// end, and when another backend takes over.
TEST(SessionHandles, TheSharedDeviceNeverOutlivesItsBackend)
{
    sim::SimBackend bus;
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

using PanelHandles = FirmwareTest;

// The handle counts themselves are the firmware tests' and the image fuzzer's; here the files.
TEST_F(PanelHandles, AFirmwareImageRefusedOrSentLeavesNoFileOpen)
{
    loadPanel();
    for (const std::string& text : {std::string(), std::string(":00000001FF\r\n"),
                                    ":" + std::string(70, '0') + "\r\n" + kEndOfFile, kData1 + kData2 + kEndOfFile}) {
        QString path = writeImage(text);
        const std::size_t files = openFileCount();
        firmware::fwForm().UpdateFirmware(path);
        EXPECT_EQ(openFileCount(), files);
        EXPECT_EQ(bus.openHandles(), 1u);
    }
    ASSERT_NE(panels::mainPanel(), nullptr);
}

}  // namespace
}  // namespace iox::testing
