#pragma once
// USB_IO: one object per connection to a "USB To I/O" box. Discovery, connection, the
// request/answer report exchange, and one public method per device command.
//
// Every command returns a status (1: the box's answer arrived; 0: not connected, the read
// failed or timed out, or the request could not be built) and hands data back through
// reference arguments. Arguments that a command clamps are written back. No exception
// leaves the class.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hid_backend.h"

namespace iox {

class USB_IO {
public:
    explicit USB_IO(HidBackend& backend, std::function<void()> pumpEvents = {});
    ~USB_IO();
    USB_IO(const USB_IO&) = delete;
    USB_IO& operator=(const USB_IO&) = delete;

    std::int16_t GetExtFirmware(std::uint8_t& a0, std::uint8_t& a1, std::uint8_t& a2, std::uint8_t& a3,
                                std::string& DocFirmware);
    HidHandle GetUSBDeviceHandle() const;
    std::uint8_t ResetCPU();
    std::string GetUSBDeviceName() const;
    std::int16_t Set_SPI_PulseWidth(std::int16_t& PulsWidth);
    std::int16_t Get_Available_SN_List(std::string& SN_List);
    std::int16_t Read_ModelName(std::string& ModelName);
    std::int16_t Read_SN(std::string& SN);
    std::int16_t SPI_OUT_Trigg(const std::string& RegData, const std::int16_t& Trigger);
    std::int16_t SPI_OUT(const std::string& ClockBit, const std::string& DataBit, const std::string& LEBit,
                         const std::string& RegData);
    std::int16_t Set_ByteA_As_Input();
    std::int16_t Set_ByteB_As_Input();
    std::int16_t Set_ByteA_As_Output();
    std::int16_t Set_ByteB_As_Output();
    std::int16_t Set_ByteA(const std::uint8_t& val);
    std::int16_t ReadByteA(std::uint8_t& Ret_ByteVal);
    std::int16_t ReadByte(const std::string& ByteName, std::uint8_t& Ret_ByteVal);
    std::int16_t Read_Relays_Byte(std::uint8_t& RetVal);
    std::int16_t ReadByteB(std::uint8_t& Ret_ByteVal);
    std::int16_t ReadBit(const std::string& BitRequest, std::uint8_t& Ret_BitVal);
    std::int16_t Set_ByteB(const std::uint8_t& val);
    std::int16_t Set_RelayByte(const std::uint8_t& val);
    std::int16_t Set_Relay(std::int16_t& RelayNo, std::int16_t& On_OFF);
    std::int16_t Set_TTLBit(const std::string& BitName, const std::int16_t& BitVal);
    std::int16_t Set_TTLPulse(const std::string& BitName, const std::int16_t& ms);
    // 1: connected now; 2: already connected, nothing done; 0: no box opened.
    std::int16_t Connect(const std::string& SN = {});
    void Disconnect();

    bool isConnected() const { return m_connected != 0; }

    // Upper bound of one exchange, stale reports included; reaching it ends the
    // exchange with status 0. A box that never answers cannot hold the caller longer.
    static constexpr std::chrono::milliseconds kDefaultExchangeTimeout{1000};
    void setExchangeTimeout(std::chrono::milliseconds timeout) { m_exchangeTimeout = timeout; }
    std::chrono::milliseconds exchangeTimeout() const { return m_exchangeTimeout; }

private:
    // Writes the request (byte 1 = command code) and reads until an input report echoes
    // the code. On status 0 the answer is all zero.
    std::int16_t exchange(HidHandle handle, const Report& request, Report& answer);
    std::int16_t simpleCommand(std::uint8_t code);
    std::int16_t readByteCommand(std::uint8_t code, std::uint8_t& value);

    bool Find_Device(std::int16_t& DeviceCount, std::int16_t Index, std::string& DevicePath);
    std::int16_t Count_Devices();
    HidHandle Open_Path(const std::string& DevicePath);
    std::int16_t Read_Device_SN(HidHandle& Handle, std::string& SN);
    // Walks every box on a temporary handle and calls visit(path, sn) for each one read.
    void walkBoxes(const std::function<void(const std::string&, const std::string&)>& visit);
    std::vector<std::string> Collect_SNs();
    std::string Find_Path_By_SN(const std::string& SN);
    // Closes the old handle and opens the box with serial number SN, or the first box.
    void Open_Device(HidHandle& Handle, const std::string& SN);
    // Lets the window system run pending events (queued clicks and timer ticks), at the
    // points where discovery has always let them run: the panels expect to stay responsive
    // while a walk over several boxes opens and asks each one.
    void pump();
    void closeQuietly(HidHandle handle);

    HidBackend& m_backend;
    std::function<void()> m_pumpEvents;
    std::chrono::milliseconds m_exchangeTimeout = kDefaultExchangeTimeout;

    std::int16_t m_connected = 0;
    HidHandle m_deviceHandle = 0;
    std::string m_devicePath;
    std::int16_t m_deviceFound = 0;
};

}  // namespace iox
