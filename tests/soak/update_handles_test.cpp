// Firmware updates and sessions leave nothing open: an update whose box vanishes half-way
// (its error message, the end of the program, not one request more), and the shared device
// object when its backend goes.

#include <QCoreApplication>
#include <QTimer>

#include <chrono>

#include "tests/firmware/update_fixture.h"

namespace iox::testing {
namespace {

class UpdateVanish : public FirmwareTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(UpdateVanish, ShowsTheErrorEndsTheProgramAndSendsNothingAfterwards)
{
    panels::TestForm* panel = loadPanel();
    ASSERT_NE(panel, nullptr);
    const std::size_t vanishAt = GetParam();
    // The box takes lines 0 .. vanishAt-1; it leaves the bus while taking line vanishAt.
    bus.box(box).setLineAnswer([this, vanishAt](const std::string&, std::size_t index) -> std::uint8_t {
        if (index == vanishAt)
            bus.vanish(box);
        return 'O';
    });
    QString path = writeImage(kData1 + kData2 + kData1 + kData2 + kEndOfFile);
    firmware::fwForm().UpdateFirmware(path);

    EXPECT_EQ(linesOnWire().size(), vanishAt + 1);
    EXPECT_FALSE(firmware::updateRunning());
    // Nothing is left open, and nothing more goes out, even with the event loop running
    // (the main panel's poll stays switched off).
    EXPECT_EQ(bus.openHandles(), 0u);
    const std::size_t sent = bus.log().size();
    bus.reappear(box);
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
         std::chrono::steady_clock::now() < until;)
        QCoreApplication::processEvents();
    EXPECT_EQ(bus.log().size(), sent);
    EXPECT_FALSE(panel->Timer1()->isActive());
    EXPECT_EQ(services.events, (std::vector<std::string>{
                                   "sleep:2000", "message:Error while trying to update firmware - Program will shut down",
                                   "end"}));
}

// The first line, the second, and the last data line before the end record.
INSTANTIATE_TEST_SUITE_P(AtLine, UpdateVanish, ::testing::Values(0u, 1u, 3u));

// The shared device object goes before the backend it talks through: at the session's
// end, and when another backend takes over.
TEST(SessionHandles, TheSharedDeviceNeverOutlivesItsBackend)
{
    sim::SimBackend bus;
    for (const bool ending : {true, false}) {
        sim::SimBackend other;
        session::setDeviceBackend(other, {});
        other.addBox({});
        ASSERT_EQ(session::sharedDevice().Connect(), 1);
        if (ending)
            session::endSession();
        else
            session::setDeviceBackend(bus, {});
        EXPECT_EQ(other.openHandles(), 0u) << ending;
        EXPECT_FALSE(session::sharedDevice().isConnected()) << "a new object, on the backend in place now";
    }
    session::endSession();
}

}  // namespace
}  // namespace iox::testing
