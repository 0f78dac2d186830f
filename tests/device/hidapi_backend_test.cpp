// The production backend on a machine with no box: it must build, list and fail sanely.

#include <gtest/gtest.h>

#include "device/commands.h"
#include "device/hidapi_backend.h"
#include "device/usb_io.h"

namespace iox {
namespace {

TEST(HidapiBackend, BadPathsAndHandlesFailAndUsbIoFindsNothingWhereNoBoxIs)
{
    HidapiBackend backend;
    bool boxAttached = false;
    for (const auto& hid : backend.enumerate()) {
        EXPECT_FALSE(hid.path.empty());
        boxAttached |= hid.vendorId == kBoxVendorId && hid.productId == kBoxProductId;
    }
    EXPECT_EQ(backend.open("/dev/does-not-exist") + backend.open(""), 0);
    Report report{};
    EXPECT_FALSE(backend.write(0, report) || backend.write(12345, report));
    EXPECT_FALSE(backend.read(12345, report, std::chrono::milliseconds(1)));
    backend.close(12345);  // unknown handles are ignored
    if (boxAttached)
        GTEST_SKIP() << "a real box is attached";

    USB_IO io{backend};
    std::string list = "none";
    EXPECT_EQ(io.Get_Available_SN_List(list), 0);
    EXPECT_EQ(list, "none");
    std::uint8_t value = 1;
    EXPECT_EQ(io.Connect() + io.Connect("10001") + io.ReadByteA(value) + value, 0);
}

}  // namespace
}  // namespace iox
