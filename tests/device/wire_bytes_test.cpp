// The bytes every command puts on the wire, what it does with its arguments and answers.

#include "sim_fixture.h"

namespace iox::testing {
namespace {

TEST_F(OneBox, EveryCommandSendsItsExactBytesAndGetsItsEcho)
{
    for (const auto& c : wireCases()) {
        SCOPED_TRACE(c.name);
        bus.clearLog();
        EXPECT_EQ(c.call(io), c.result);
        EXPECT_EQ(bus.requestsTo(0), std::vector{c.expected});
    }
}

TEST_F(OneBox, RefusedArgumentsSendNothingAndReturnZero)
{
    std::uint8_t bit = 77;
    const std::vector<std::pair<const char*, std::function<std::int16_t()>>> refused = {
        {"ReadBit empty", [&] { return io.ReadBit("", bit); }},
        {"Set_TTLBit empty", [&] { return io.Set_TTLBit("", 1); }},
        {"Set_TTLBit 256", [&] { return io.Set_TTLBit("A0", 256); }},
        {"Set_TTLBit -1", [&] { return io.Set_TTLBit("A0", -1); }},
        {"Set_TTLPulse 300", [&] { return io.Set_TTLPulse("A0", 300); }},
        {"Set_TTLPulse -1", [&] { return io.Set_TTLPulse("A0", -1); }},
        {"Set_TTLPulse empty", [&] { return io.Set_TTLPulse("", 10); }},
        {"SPI_OUT empty clock", [&] { return io.SPI_OUT("", "B1", "B2", "1"); }},
        {"SPI_OUT empty data", [&] { return io.SPI_OUT("B0", "", "B2", "1"); }},
        {"SPI_OUT empty LE", [&] { return io.SPI_OUT("B0", "B1", "", "1"); }},
        {"SPI_OUT 57 bits", [&] { return io.SPI_OUT("B0", "B1", "B2", word(57)); }},
        {"SPI_OUT_Trigg 62 bits", [&] { return io.SPI_OUT_Trigg(word(62), 1); }},
    };
    for (const auto& [name, call] : refused) {
        SCOPED_TRACE(name);
        EXPECT_EQ(call(), 0);
        EXPECT_TRUE(bus.log().empty());
    }
    EXPECT_EQ(bit, 77) << "a refused read leaves its output alone";
}

TEST_F(OneBox, ClampedArgumentsAreSentAndWrittenBack)
{
    struct Clamp { std::int16_t relay, state, width; std::uint8_t sentRelay, sentState, sentWidth; };
    for (const Clamp c : {Clamp{9, 5, 1000, 7, 1, 255}, Clamp{-3, -1, -5, 0, 0, 0}, Clamp{7, 1, 255, 7, 1, 255}}) {
        SCOPED_TRACE(::testing::Message() << c.relay << "," << c.state << "," << c.width);
        bus.clearLog();
        std::int16_t relay = c.relay, state = c.state, width = c.width;
        EXPECT_EQ(io.Set_Relay(relay, state) + io.Set_SPI_PulseWidth(width), 2);
        EXPECT_EQ(std::vector<int>({relay, state, width}), std::vector<int>({c.sentRelay, c.sentState, c.sentWidth}));
        EXPECT_EQ(bus.requestsTo(0), (std::vector{request(34, {c.sentRelay, c.sentState}), request(8, {c.sentWidth})}));
    }
}

TEST_F(OneBox, ReadsHandBackAnswerByteTwo)
{
    bus.box(0).setInputA(0x5A);
    io.Set_ByteA_As_Input();
    io.Set_ByteB(0xC3);
    io.Set_RelayByte(0x24);
    std::uint8_t a = 0, b = 0, relays = 0, viaName = 0, b1 = 9, b2 = 9;
    EXPECT_EQ(io.ReadByteA(a) + io.ReadByteB(b) + io.Read_Relays_Byte(relays) + io.ReadByte("A", viaName) +
                  io.ReadBit("B1", b1) + io.ReadBit("B2", b2),
              6);
    EXPECT_EQ(std::vector<int>({a, viaName, b, relays, b1, b2}), std::vector<int>({0x5A, 0x5A, 0xC3, 0x24, 1, 0}));
}

TEST_F(OneBox, FirmwareAnswerGivesRevisionTextAndLevel)
{
    struct Case { std::array<std::uint8_t, 6> bytes; std::int16_t result; std::string doc; };
    const std::vector<Case> cases = {
        {{3, 1, 0, 0, 66, 50}, 3, "B2"},
        {{2, 1, 0, 0, 66, 50}, 2, "A0"},
        {{0, 0, 0, 0, 0, 0}, 0, "A0"},
        {{4, 9, 8, 7, 'A', 0}, 4, std::string{"A\0", 2}},  // a 0 byte stays a NUL character
    };
    for (const auto& c : cases) {
        bus.box(0).config().firmware = c.bytes;
        std::uint8_t a0 = 0xEE, a1 = 0xEE, a2 = 0xEE, a3 = 0xEE;
        std::string doc = "zz";
        EXPECT_EQ(io.GetExtFirmware(a0, a1, a2, a3, doc), c.result);
        EXPECT_EQ(std::vector<int>({a0, a1, a2, a3}), std::vector<int>(c.bytes.begin(), c.bytes.begin() + 4));
        EXPECT_EQ(doc, c.doc);
    }
}

TEST_F(OneBox, TextAnswersGiveModelNamesAndSerialNumbers)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"IOX-MODEL-C", "IOX-MODEL-C"},
        {" 1234 ", "1234"},
        {"ABCDEFGHIJKLMNOPQRSTUV", "ABCDEFGHIJKLMNOPQRST"},  // 22 characters: bytes 2 to 21 only
        {"   ABCDEFGHIJKLMNOPQRSTUV", "ABCDEFGHIJKLMNOPQ"},
        {"", ""},
        {"\xE9t\xE9", "\xE9t\xE9"},  // Latin-1 bytes stay one character each
    };
    for (const auto& [sent, read] : cases) {
        SCOPED_TRACE(sent);
        bus.box(0).config().model = bus.box(0).config().serial = sent;
        std::string model = "old", serial = "old";
        EXPECT_EQ(io.Read_ModelName(model) + io.Read_SN(serial), 2);
        EXPECT_EQ(model + "|" + serial, read + "|" + read);
    }
}

TEST(Disconnected, EveryCommandFailsAtOnceWithZeroData)
{
    SimRig rig;
    auto& [bus, io] = rig;
    std::uint8_t a0 = 1, a1 = 1, a2 = 1, a3 = 1, value = 9, bit = 9;
    std::string doc, model = "x";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(io.GetExtFirmware(a0, a1, a2, a3, doc) + io.Read_ModelName(model) + io.ReadByteA(value) + io.ReadBit("A1", bit), 0);
    EXPECT_EQ(std::vector<int>({a0, a1, a2, a3, value, bit}), std::vector<int>(6, 0));
    EXPECT_EQ(doc + "|" + model, "A0|");
    for (const auto& c : wireCases())
        EXPECT_EQ(c.call(io), 0) << c.name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_TRUE(bus.log().empty());
    EXPECT_EQ(bus.openCalls(), 0u);
}

}  // namespace
}  // namespace iox::testing
