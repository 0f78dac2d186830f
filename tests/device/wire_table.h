#pragma once
// Every command of USB_IO with the exact request it must put on the wire and the status it
// returns from a box that answers: shared by the device tests and the kernel-level rig.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/usb_io.h"

namespace iox::testing {

// A request as it should appear on the wire: code, the argument bytes, zeros after; `last` in byte 64.
inline Report request(std::uint8_t code, std::vector<std::uint8_t> args = {}, std::uint8_t last = 0)
{
    Report r{};
    r[1] = code;
    r[64] = last;
    for (std::size_t i = 0; i < args.size(); ++i)
        r[2 + i] = args[i];
    return r;
}

struct WireCase {
    const char* name;
    std::function<std::int16_t(USB_IO&)> call;
    Report expected;
    std::int16_t result = 1;  // with the box connected and answering
};

inline std::string word(std::size_t n, char c = '1') { return std::string(n, c); }

inline const std::vector<WireCase>& wireCases()
{
    static const std::vector<WireCase> cases = {
        {"GetExtFirmware", [](USB_IO& io) { std::uint8_t a, b, c, d; std::string f; return io.GetExtFirmware(a, b, c, d, f); }, request(99), 3},
        {"Set_SPI_PulseWidth", [](USB_IO& io) { std::int16_t w = 17; return io.Set_SPI_PulseWidth(w); }, request(8, {17})},
        {"Read_ModelName", [](USB_IO& io) { std::string m; return io.Read_ModelName(m); }, request(40)},
        {"Read_SN", [](USB_IO& io) { std::string s; return io.Read_SN(s); }, request(41)},
        {"SPI_OUT_Trigg on", [](USB_IO& io) { return io.SPI_OUT_Trigg("101", 2); }, request(37, {3, 1, 1, 0, 1})},
        {"SPI_OUT_Trigg negative trigger", [](USB_IO& io) { return io.SPI_OUT_Trigg("1", -1); }, request(37, {1, 0, 1})},
        {"SPI_OUT_Trigg zero trigger", [](USB_IO& io) { return io.SPI_OUT_Trigg("", 0); }, request(37, {0, 0})},
        {"SPI_OUT_Trigg longest word", [](USB_IO& io) { return io.SPI_OUT_Trigg(word(60, '0') + "1", 1); },
         request(37, {61, 1}, 1)},
        {"SPI_OUT", [](USB_IO& io) { return io.SPI_OUT("B0", "B1", "B2", "10110"); },
         request(36, {66, 0, 66, 1, 66, 2, 5, 1, 0, 1, 1, 0})},
        {"SPI_OUT longest word", [](USB_IO& io) { return io.SPI_OUT("B0", "B1", "B2", word(55, '0') + "1"); },
         request(36, {66, 0, 66, 1, 66, 2, 56}, 1)},
        {"SPI_OUT empty word", [](USB_IO& io) { return io.SPI_OUT("A7", "A6", "A5", ""); },
         request(36, {65, 7, 65, 6, 65, 5, 0})},
        {"SPI_OUT other characters", [](USB_IO& io) { return io.SPI_OUT("B0", "B1", "B2", "1x9 "); },
         request(36, {66, 0, 66, 1, 66, 2, 4, 1, 0, 9, 0})},
        {"Set_ByteA_As_Input", [](USB_IO& io) { return io.Set_ByteA_As_Input(); }, request(24)},
        {"Set_ByteB_As_Input", [](USB_IO& io) { return io.Set_ByteB_As_Input(); }, request(26)},
        {"Set_ByteA_As_Output", [](USB_IO& io) { return io.Set_ByteA_As_Output(); }, request(25)},
        {"Set_ByteB_As_Output", [](USB_IO& io) { return io.Set_ByteB_As_Output(); }, request(27)},
        {"Set_ByteA", [](USB_IO& io) { return io.Set_ByteA(0xA5); }, request(31, {65, 0xA5})},
        {"Set_ByteB", [](USB_IO& io) { return io.Set_ByteB(0xFF); }, request(31, {66, 0xFF})},
        {"ReadByteA", [](USB_IO& io) { std::uint8_t v; return io.ReadByteA(v); }, request(28)},
        {"ReadByteB", [](USB_IO& io) { std::uint8_t v; return io.ReadByteB(v); }, request(29)},
        {"ReadByte A", [](USB_IO& io) { std::uint8_t v; return io.ReadByte("A", v); }, request(28)},
        {"ReadByte B", [](USB_IO& io) { std::uint8_t v; return io.ReadByte("B", v); }, request(29)},
        {"ReadByte lower-case a reads B", [](USB_IO& io) { std::uint8_t v; return io.ReadByte("a", v); }, request(29)},
        {"ReadByte anything else reads B", [](USB_IO& io) { std::uint8_t v; return io.ReadByte("A ", v); }, request(29)},
        {"Read_Relays_Byte", [](USB_IO& io) { std::uint8_t v; return io.Read_Relays_Byte(v); }, request(35)},
        {"ReadBit B3", [](USB_IO& io) { std::uint8_t v; return io.ReadBit("B3", v); }, request(30, {66, 3})},
        {"ReadBit A alone", [](USB_IO& io) { std::uint8_t v; return io.ReadBit("A", v); }, request(30, {65, 0})},
        {"ReadBit last char a letter", [](USB_IO& io) { std::uint8_t v; return io.ReadBit("Bx", v); }, request(30, {66, 0})},
        {"ReadBit middle ignored", [](USB_IO& io) { std::uint8_t v; return io.ReadBit("A-17", v); }, request(30, {65, 7})},
        {"ReadBit any letter", [](USB_IO& io) { std::uint8_t v; return io.ReadBit("Z5", v); }, request(30, {90, 5})},
        {"Set_RelayByte", [](USB_IO& io) { return io.Set_RelayByte(0x81); }, request(33, {0x81})},
        {"Set_Relay", [](USB_IO& io) { std::int16_t r = 3, v = 1; return io.Set_Relay(r, v); }, request(34, {3, 1})},
        {"Set_TTLBit", [](USB_IO& io) { return io.Set_TTLBit("A4", 1); }, request(32, {65, 4, 1})},
        {"Set_TTLBit 255", [](USB_IO& io) { return io.Set_TTLBit("B7", 255); }, request(32, {66, 7, 255})},
        {"Set_TTLPulse", [](USB_IO& io) { return io.Set_TTLPulse("B2", 40); }, request(50, {66, 2, 40})},
        {"Set_TTLPulse 255", [](USB_IO& io) { return io.Set_TTLPulse("A0", 255); }, request(50, {65, 0, 255})},
        // Last: it takes the box off the bus.
        {"ResetCPU", [](USB_IO& io) { return std::int16_t(io.ResetCPU()); }, request(100, {101, 102, 103})},
    };
    return cases;
}

}  // namespace iox::testing
