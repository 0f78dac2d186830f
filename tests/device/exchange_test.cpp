// The request/answer exchange: stale reports, bounded waits, vanishing boxes, bad backends.

#include <gmock/gmock.h>

#include <stdexcept>

#include "device/commands.h"
#include "sim_fixture.h"

namespace iox::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A late answer within the bound arrives; a failed one reads as 0 (not as the last stale report)
// and ends at its bound, or at once when the box is gone, which the object learns only later.
TEST(SlowExchange, EndsAtItsBoundAndAFailedOneReadsZero)
{
    struct Case { const char* name; std::function<void(sim::SimBackend&)> fault; Clock::duration atLeast, below; int read = 0; };
    const std::vector<Case> cases = {
        {"late answer", [](auto& bus) { bus.faults(0).answerDelay = 20ms; }, 20ms, 1s, 1},
        {"silent box", [](auto& bus) { bus.faults(0).silent = true; }, 50ms, 1s},
        {"endless stale reports", [](auto& bus) {
             bus.faults(0).mangle = [](Report& r) { r[1] = cmd::ReadSn; };
             for (int i = 0; i < 10000; ++i)
                 bus.queueStale(0, request(cmd::ReadByteB, {1}));
         }, 0ms, 1s},
        {"unplugged", [](auto& bus) { bus.vanish(0); }, 0ms, 100ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRig rig;
        auto& [bus, io] = rig;
        ASSERT_EQ(io.Connect(), 1);
        io.setExchangeTimeout(60ms);
        c.fault(bus);
        std::uint8_t value = 7;
        const auto start = Clock::now();
        EXPECT_EQ(io.ReadByteA(value) + value, c.read);
        EXPECT_GE(Clock::now() - start, c.atLeast);
        EXPECT_LT(Clock::now() - start, c.below);
        EXPECT_TRUE(io.isConnected());
    }
}

// Records the calls USB_IO makes, or throws from them.
class MockBackend : public HidBackend {
public:
    MOCK_METHOD(std::vector<HidInterface>, enumerate, (), (override));
    MOCK_METHOD(HidHandle, open, (const std::string&), (override));
    MOCK_METHOD(bool, write, (HidHandle, const Report&), (override));
    MOCK_METHOD(bool, read, (HidHandle, Report&, std::chrono::milliseconds), (override));
    MOCK_METHOD(void, close, (HidHandle), (override));
};

// Every backend call throws (enumerate and open at first only): nothing may leave USB_IO.
TEST(Exceptions, NeverLeaveTheClass)
{
    using namespace ::testing;
    NiceMock<MockBackend> backend;
    ON_CALL(backend, enumerate()).WillByDefault(Throw(std::runtime_error("enumerate")));
    ON_CALL(backend, open(_)).WillByDefault(Throw(std::runtime_error("open")));
    ON_CALL(backend, write(_, _)).WillByDefault(Throw(std::runtime_error("write")));
    ON_CALL(backend, read(_, _, _)).WillByDefault(Throw(std::runtime_error("read")));
    ON_CALL(backend, close(_)).WillByDefault(Throw(std::bad_alloc()));
    int pumps = 0;
    USB_IO io{backend, [&] {
        ++pumps;
        throw std::logic_error("handler");
    }};
    std::string list = "kept";
    EXPECT_EQ(io.Get_Available_SN_List(list), 0);
    EXPECT_EQ(list, "kept");
    EXPECT_EQ(io.Connect(), 0);

    ON_CALL(backend, enumerate()).WillByDefault(Return(std::vector<HidInterface>{{"p", kBoxVendorId, kBoxProductId}}));
    ON_CALL(backend, open(_)).WillByDefault(Return(5));
    EXPECT_EQ(io.Connect(), 1);
    EXPECT_GT(pumps, 0);
    std::uint8_t value = 3;
    EXPECT_EQ(io.ReadByteA(value) + value, 0);
    EXPECT_EQ(io.Get_Available_SN_List(list), 1);
    EXPECT_EQ(list, "");
    EXPECT_NO_THROW(io.Disconnect());
}

TEST(Exchange, WritesOnceThenReadsUntilTheEchoOnTheSameHandle)
{
    using namespace ::testing;
    StrictMock<MockBackend> backend;
    InSequence order;
    // Only the box's vendor and product together make a box: nothing else is opened.
    const std::vector<HidInterface> bus{
        {"kbd", 1, 2}, {"other product", kBoxVendorId, 0x22}, {"other maker", 0x1234, kBoxProductId}, {"box", kBoxVendorId, kBoxProductId}};
    EXPECT_CALL(backend, enumerate()).WillOnce(Return(bus));
    EXPECT_CALL(backend, open("box")).WillOnce(Return(7));
    EXPECT_CALL(backend, close(7));
    EXPECT_CALL(backend, enumerate()).WillOnce(Return(bus));
    EXPECT_CALL(backend, open("box")).WillOnce(Return(8));
    EXPECT_CALL(backend, close(8));
    EXPECT_CALL(backend, open("box")).WillOnce(Return(9));
    USB_IO io{backend};
    ASSERT_EQ(io.Connect(), 1);

    EXPECT_CALL(backend, write(9, request(cmd::ReadByteB))).WillOnce(Return(false));  // outcome not examined
    for (const std::uint8_t stale : {cmd::ReadByteA, cmd::ReadRelaysByte})  // answers to others: read past
        EXPECT_CALL(backend, read(9, _, _)).WillOnce(DoAll(SetArgReferee<1>(request(stale, {1})), Return(true)));
    EXPECT_CALL(backend, read(9, _, _)).WillOnce(DoAll(SetArgReferee<1>(request(cmd::ReadByteB, {0x42})), Return(true)));
    std::uint8_t value = 0;
    EXPECT_EQ(io.ReadByteB(value), 1);
    EXPECT_EQ(value, 0x42);

    EXPECT_CALL(backend, close(9));
    io.Disconnect();
}

}  // namespace
}  // namespace iox::testing
