// Finding boxes among the system's HID interfaces, listing their serial numbers and
// connecting by position or serial number.

#include "sim_fixture.h"

namespace iox::testing {
namespace {

TEST(Connect, ByPositionOrSerialNumber)
{
    struct Case { const char* name; std::vector<std::string> serials; std::string wanted; std::int16_t result; int box; std::size_t passes; bool firstHeld = false; };
    // Without a serial: a count and one lookup; by serial: Open_Device's count, the walk's
    // count, one lookup per box counted. A box that cannot be opened has no position.
    const std::vector<Case> cases = {
        {"no serial: the first box", {"111", "222"}, "", 1, 0, 2},
        {"second of two", {"111", "222"}, "222", 1, 1, 4},
        {"not attached", {"111", "222"}, "333", 0, -1, 4},
        {"other letter case", {"AbC", "x"}, "abc", 0, -1, 4},
        {"shared serial: the later box wins", {"555", "777", "555"}, "555", 1, 2, 5},
        {"no boxes at all", {}, "111", 0, -1, 1},
        {"first held: no serial takes the next", {"held", "free"}, "", 1, 1, 2, true},
        {"first held: not found by serial", {"held", "free"}, "held", 0, -1, 3, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRig rig{c.serials};
        auto& [bus, io] = rig;
        if (c.firstHeld)
            bus.faults(0).refuseOpen = true;
        EXPECT_EQ(c.wanted.empty() ? io.Connect() : io.Connect(c.wanted), c.result);
        EXPECT_EQ(io.isConnected() + bus.openHandles() + (io.GetUSBDeviceHandle() > 0), c.result == 1 ? 3u : 0u);
        EXPECT_EQ(io.GetUSBDeviceName(), c.box >= 0 ? bus.pathOf(c.box) : "");
        EXPECT_EQ(bus.enumerateCalls(), c.passes);
    }
}

TEST(Connect, ConnectedObjectKeepsItsBoxUntilDisconnectedThenConnectsAgain)
{
    SimRig rig{{"111", "222"}};
    auto& [bus, io] = rig;
    ASSERT_EQ(io.Connect("111"), 1);
    const HidHandle handle = io.GetUSBDeviceHandle();
    const auto enumerations = bus.enumerateCalls();
    EXPECT_EQ(io.Connect("222"), 2);
    std::string list, sn;
    EXPECT_EQ(io.Get_Available_SN_List(list) + io.Read_SN(sn), 3) << "listing leaves the connection working";
    EXPECT_EQ(sn, "111");
    bus.vanish(0);  // the connection is dead, the object does not know yet
    EXPECT_EQ(io.Connect(), 2);
    EXPECT_EQ(io.GetUSBDeviceHandle(), handle);
    EXPECT_EQ(bus.enumerateCalls(), enumerations + 4) << "nothing done but the listing";

    io.Disconnect();
    EXPECT_FALSE(io.isConnected() || io.GetUSBDeviceHandle() || bus.openHandles());
    EXPECT_EQ(io.GetUSBDeviceName(), bus.pathOf(0)) << "the path is kept";
    bus.reappear(0);
    EXPECT_EQ(io.Connect(), 1);
    {
        USB_IO other{bus};
        ASSERT_EQ(other.Connect("222"), 1);
        EXPECT_EQ(bus.openHandles(), 2u);
    }
    EXPECT_EQ(bus.openHandles(), 1u) << "destroying a connected object closes its handle";
}

TEST(SerialList, ListsEveryOpenableBoxInOrder)
{
    struct Case { const char* name; std::vector<std::string> serials; std::vector<int> refused; std::int16_t count; std::string list; std::vector<int> silent = {}; };
    const std::vector<Case> cases = {
        {"no box: the caller's text stays", {}, {}, 0, "untouched"},
        {"three boxes", {"1", "22", "333"}, {}, 3, "1 22 333"},
        {"one held by another program", {"1", "22", "333"}, {1}, 2, "1 333"},
        {"empty serial in the middle", {"1", "", "3"}, {}, 3, "1  3"},
        {"empty serial first", {"", "2", "3"}, {}, 3, "2 3"},
        {"empty serial last", {"1", "2", ""}, {}, 3, "1 2"},
        {"padded serials", {" 7 ", "8  "}, {}, 2, "7 8"},
        {"a silent box answers no serial", {"1", "2", "3"}, {}, 3, "1  3", {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRig rig{c.serials};
        auto& [bus, io] = rig;
        for (int i : c.refused)
            bus.faults(i).refuseOpen = true;
        for (int i : c.silent)
            bus.faults(i).silent = true;
        io.setExchangeTimeout(std::chrono::milliseconds(5));
        std::string list = "untouched";
        EXPECT_EQ(io.Get_Available_SN_List(list), c.count);
        EXPECT_EQ(list, c.list);
        EXPECT_EQ(bus.enumerateCalls(), c.count ? std::size_t(c.count) + 2 : 1u);
        EXPECT_EQ(bus.openHandles(), 0u);
    }
}

TEST(SerialList, PendingEventsRunAtEachPointOfTheWalkAndABoxMayLeaveDuringIt)
{
    sim::SimBackend bus;
    for (const char* sn : {"1", "2", "3", "4"})
        bus.addBox(boxWith(sn));
    bus.faults(1).refuseOpen = true;  // seen by no pass: neither counted nor walked
    int pumps = 0;
    USB_IO io{bus, [&] { ++pumps; }};
    std::string list;
    ASSERT_EQ(io.Get_Available_SN_List(list), 3);
    EXPECT_EQ(pumps, 3 * 6 + 1) << "six points per box read, one at the end";
    pumps = 0;
    ASSERT_EQ(io.Connect(), 1);
    EXPECT_EQ(pumps, 2) << "before the search and after success";
    io.Disconnect();

    // The first pending-events point of the walk comes after both counts: a box unplugged
    // there is counted but not listed, and nothing is left open.
    USB_IO leaving{bus, [&] {
        if (++pumps == 1)
            bus.vanish(2);
    }};
    pumps = 0;
    EXPECT_EQ(leaving.Get_Available_SN_List(list), 3);
    EXPECT_EQ(list, "1 4");
    EXPECT_EQ(bus.openHandles(), 0u);
}

}  // namespace
}  // namespace iox::testing
