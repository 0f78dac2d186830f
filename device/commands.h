#pragma once
// Command codes of the box's application firmware and of its bootloader, declared once.

#include <cstddef>
#include <cstdint>

namespace iox {

// Vendor and product ID by which a box is recognised among the HID interfaces.
inline constexpr std::uint16_t kBoxVendorId = 0x2B4E;
inline constexpr std::uint16_t kBoxProductId = 0x0021;

namespace cmd {
inline constexpr std::uint8_t SetSpiPulseWidth = 8;
inline constexpr std::uint8_t UpdateFlag = 0x15;  // bootloader hand-over mark, see below
inline constexpr std::uint8_t SetByteAAsInput = 24;
inline constexpr std::uint8_t SetByteAAsOutput = 25;
inline constexpr std::uint8_t SetByteBAsInput = 26;
inline constexpr std::uint8_t SetByteBAsOutput = 27;
inline constexpr std::uint8_t ReadByteA = 28;
inline constexpr std::uint8_t ReadByteB = 29;
inline constexpr std::uint8_t ReadBit = 30;
inline constexpr std::uint8_t SetByte = 31;  // byte 2 names the port: 'A' or 'B'
inline constexpr std::uint8_t SetTtlBit = 32;
inline constexpr std::uint8_t SetRelayByte = 33;
inline constexpr std::uint8_t SetRelay = 34;
inline constexpr std::uint8_t ReadRelaysByte = 35;
inline constexpr std::uint8_t SpiOut = 36;
inline constexpr std::uint8_t SpiOutTrigg = 37;
inline constexpr std::uint8_t ReadModelName = 40;
inline constexpr std::uint8_t ReadSn = 41;
inline constexpr std::uint8_t SetTtlPulse = 50;
inline constexpr std::uint8_t GetExtFirmware = 99;
inline constexpr std::uint8_t ResetCpu = 100;
}  // namespace cmd

// The update flag's request: bytes 2 to 4, then in byte 5 the flag (kUpdateFlagYes: the
// next reset starts the bootloader).
inline constexpr std::uint8_t kUpdateFlagArgs[3] = {0x7A, 0xFF, 0x01};
inline constexpr std::uint8_t kUpdateFlagYes = 'Y';
// Status byte of the bootloader's answer to an image line.
inline constexpr std::uint8_t kLineAccepted = 'O';
inline constexpr std::uint8_t kUpdateFinished = 'F';

// Arguments that ResetCPU carries in bytes 2 to 4.
inline constexpr std::uint8_t kResetKey[3] = {101, 102, 103};

// Capacity of the serial-output requests, in data characters.
inline constexpr std::size_t kSpiOutMaxBits = 56;       // bytes 9 to 64
inline constexpr std::size_t kSpiOutTriggMaxBits = 61;  // bytes 4 to 64

}  // namespace iox
