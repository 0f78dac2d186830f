// A firmware update whose box vanishes half-way through the image: the update's error
// message, the end of the program, and not one request more.

#include <QCoreApplication>
#include <QTimer>

#include <chrono>

#include "firmware/fw_form.h"
#include "panels/main_panel.h"
#include "panels/test_form.h"
#include "tests/firmware/update_fixture.h"

namespace iox::testing {
namespace {

class UpdateVanish : public FirmwareTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(UpdateVanish, ShowsTheErrorEndsTheProgramAndSendsNothingAfterwards)
{
    panels::TestForm* panel = loadPanel();
    ASSERT_NE(panel, nullptr);
    const std::size_t vanishAt = GetParam();
    std::string image;
    for (int i = 0; i < 8; ++i)
        image += i % 2 ? kData2 : kData1;
    image += kEndOfFile;
    // The box takes lines 0 .. vanishAt-1; it leaves the bus while taking line vanishAt.
    bus.box(box).setLineAnswer([this, vanishAt](const std::string&, std::size_t index) -> std::uint8_t {
        if (index == vanishAt)
            bus.vanish(box);
        return 'O';
    });
    QString path = writeImage(image);
    firmware::fwForm().UpdateFirmware(path);

    EXPECT_EQ(linesOnWire().size(), vanishAt + 1);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].text,
              QStringLiteral("Error while trying to update firmware - Program will shut down"));
    EXPECT_FALSE(firmware::updateRunning());
    // Nothing is left open, and nothing more goes out, even with the event loop running
    // (the main panel's poll stays switched off).
    EXPECT_EQ(bus.openHandles(), 0u);
    const std::size_t sent = bus.log().size();
    bus.reappear(box);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    while (std::chrono::steady_clock::now() < until)
        QCoreApplication::processEvents();
    EXPECT_EQ(bus.log().size(), sent);
    EXPECT_FALSE(panel->Timer1()->isActive());
    EXPECT_EQ(services.ends, 1);
}

// The first line, one early on, half-way, and the last data line before the end record.
INSTANTIATE_TEST_SUITE_P(AtLine, UpdateVanish, ::testing::Values(0u, 1u, 4u, 7u));

}  // namespace
}  // namespace iox::testing
