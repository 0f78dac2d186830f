#include "usb_io.h"

#include <exception>

#ifdef __linux__
#include <time.h>
#endif

#include "commands.h"
#include "wire.h"

namespace iox {

namespace {

Report makeRequest(std::uint8_t code)
{
    Report request{};
    request[1] = code;
    return request;
}

void putLineName(Report& request, std::size_t at, const wire::LineName& line)
{
    request[at] = line.port;
    request[at + 1] = line.bit;
}

// Monotonic time for the exchange bound. A millisecond-grain clock is all a bound of
// hundreds of milliseconds needs; Linux's coarse clock costs a fraction of the fine one.
std::chrono::milliseconds monotonicNow()
{
#ifdef __linux__
    timespec ts{};
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &ts) == 0)
        return std::chrono::milliseconds(std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
#endif
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace

USB_IO::USB_IO(HidBackend& backend, std::function<void()> pumpEvents)
    : m_backend(backend), m_pumpEvents(std::move(pumpEvents))
{
}

USB_IO::~USB_IO()
{
    // A handle still open when the object goes away would otherwise stay open for the
    // process's whole life.
    Disconnect();
}

void USB_IO::closeQuietly(HidHandle handle)
{
    // A handle that cannot be closed is gone already: nothing is left to do with it.
    try {
        m_backend.close(handle);
    } catch (...) {
    }
}

void USB_IO::pump()
{
    if (!m_pumpEvents)
        return;
    try {
        m_pumpEvents();
    } catch (...) {
        // A failing event handler must not abort a discovery walk half-way.
    }
}

// ---- report exchange ------------------------------------------------------------------

std::int16_t USB_IO::exchange(HidHandle handle, const Report& request, Report& answer)
{
    if (handle == 0) {
        answer.fill(0);
        return 0;
    }
    try {
        m_backend.write(handle, request);
        // One clock reading per exchange: the first read may take the whole bound; only
        // reads after a stale report need the time that is left.
        const auto deadline = monotonicNow() + m_exchangeTimeout;
        auto left = m_exchangeTimeout;
        while (left.count() > 0 && m_backend.read(handle, answer, left)) {
            if (answer[1] == request[1])
                return 1;
            // A report answering another command (a stale one): discard it, read on.
            left = deadline - monotonicNow();
        }
    } catch (...) {
    }
    answer.fill(0);
    return 0;
}

std::int16_t USB_IO::simpleCommand(std::uint8_t code)
{
    Report answer;
    return exchange(m_deviceHandle, makeRequest(code), answer);
}

std::int16_t USB_IO::readByteCommand(std::uint8_t code, std::uint8_t& value)
{
    Report answer;
    const auto status = exchange(m_deviceHandle, makeRequest(code), answer);
    value = answer[2];
    return status;
}

// ---- commands -------------------------------------------------------------------------

std::int16_t USB_IO::GetExtFirmware(std::uint8_t& a0, std::uint8_t& a1, std::uint8_t& a2, std::uint8_t& a3,
                                    std::string& DocFirmware)
{
    Report answer;
    exchange(m_deviceHandle, makeRequest(cmd::GetExtFirmware), answer);
    a0 = answer[2];
    a1 = answer[3];
    a2 = answer[4];
    a3 = answer[5];
    DocFirmware = std::string{static_cast<char>(answer[6]), static_cast<char>(answer[7])};
    if (answer[2] < 3)
        DocFirmware = "A0";
    return answer[2];
}

HidHandle USB_IO::GetUSBDeviceHandle() const { return m_deviceHandle; }

std::uint8_t USB_IO::ResetCPU()
{
    Report request = makeRequest(cmd::ResetCpu);
    for (std::size_t i = 0; i < 3; ++i)
        request[2 + i] = kResetKey[i];
    Report answer;
    return static_cast<std::uint8_t>(exchange(m_deviceHandle, request, answer));
}

std::string USB_IO::GetUSBDeviceName() const { return m_devicePath; }

std::int16_t USB_IO::Set_SPI_PulseWidth(std::int16_t& PulsWidth)
{
    if (PulsWidth > 255)
        PulsWidth = 255;
    if (PulsWidth < 0)
        PulsWidth = 0;
    Report request = makeRequest(cmd::SetSpiPulseWidth);
    request[2] = static_cast<std::uint8_t>(PulsWidth);
    Report answer;
    return exchange(m_deviceHandle, request, answer);
}

std::int16_t USB_IO::Read_ModelName(std::string& ModelName)
{
    Report answer;
    const auto status = exchange(m_deviceHandle, makeRequest(cmd::ReadModelName), answer);
    ModelName = wire::textAnswer(answer);
    return status;
}

std::int16_t USB_IO::Read_SN(std::string& SN) { return Read_Device_SN(m_deviceHandle, SN); }

std::int16_t USB_IO::SPI_OUT_Trigg(const std::string& RegData, const std::int16_t& Trigger)
{
    if (RegData.size() > kSpiOutTriggMaxBits)
        return 0;
    Report request = makeRequest(cmd::SpiOutTrigg);
    request[2] = static_cast<std::uint8_t>(RegData.size());
    request[3] = Trigger > 0 ? 1 : 0;
    for (std::size_t i = 0; i < RegData.size(); ++i)
        request[4 + i] = wire::digitValue(RegData[i]);
    Report answer;
    return exchange(m_deviceHandle, request, answer);
}

std::int16_t USB_IO::SPI_OUT(const std::string& ClockBit, const std::string& DataBit, const std::string& LEBit,
                             const std::string& RegData)
{
    const auto clock = wire::encodeLineName(ClockBit);
    const auto data = wire::encodeLineName(DataBit);
    const auto le = wire::encodeLineName(LEBit);
    if (!clock || !data || !le || RegData.size() > kSpiOutMaxBits)
        return 0;
    Report request = makeRequest(cmd::SpiOut);
    putLineName(request, 2, *clock);
    putLineName(request, 4, *data);
    putLineName(request, 6, *le);
    request[8] = static_cast<std::uint8_t>(RegData.size());
    for (std::size_t i = 0; i < RegData.size(); ++i)
        request[9 + i] = wire::digitValue(RegData[i]);
    Report answer;
    return exchange(m_deviceHandle, request, answer);
}

std::int16_t USB_IO::Set_ByteA_As_Input() { return simpleCommand(cmd::SetByteAAsInput); }
std::int16_t USB_IO::Set_ByteB_As_Input() { return simpleCommand(cmd::SetByteBAsInput); }
std::int16_t USB_IO::Set_ByteA_As_Output() { return simpleCommand(cmd::SetByteAAsOutput); }
std::int16_t USB_IO::Set_ByteB_As_Output() { return simpleCommand(cmd::SetByteBAsOutput); }

std::int16_t USB_IO::Set_ByteA(const std::uint8_t& val)
{
    Report request = makeRequest(cmd::SetByte);
    request[2] = 'A';
    request[3] = val;
    Report answer;
    return exchange(m_deviceHandle, request, answer);
}

std::int16_t USB_IO::Set_ByteB(const std::uint8_t& val)
{
    Report request = makeRequest(cmd::SetByte);
    request[2] = 'B';
    request[3] = val;
    Report answer;
    return exchange(m_deviceHandle, request, answer);
}

std::int16_t USB_IO::ReadByteA(std::uint8_t& Ret_ByteVal) { return readByteCommand(cmd::ReadByteA, Ret_ByteVal); }
std::int16_t USB_IO::ReadByteB(std::uint8_t& Ret_ByteVal) { return readByteCommand(cmd::ReadByteB, Ret_ByteVal); }

std::int16_t USB_IO::ReadByte(const std::string& ByteName, std::uint8_t& Ret_ByteVal)
{
    return ByteName == "A" ? ReadByteA(Ret_ByteVal) : ReadByteB(Ret_ByteVal);
}

std::int16_t USB_IO::Read_Relays_Byte(std::uint8_t& RetVal) { return readByteCommand(cmd::ReadRelaysByte, RetVal); }

std::int16_t USB_IO::ReadBit(const std::string& BitRequest, std::uint8_t& Ret_BitVal)
{
    const auto line = wire::encodeLineName(BitRequest);
    if (!line)
        return 0;
    Report request = makeRequest(cmd::ReadBit);
    putLineName(request, 2, *line);
    Report answer;
    const auto status = exchange(m_deviceHandle, request, answer);
    Ret_BitVal = answer[2];
    return status;
}

std::int16_t USB_IO::Set_RelayByte(const std::uint8_t& val)
{
    Report request = makeRequest(cmd::SetRelayByte);
    request[2] = val;
    Report answer;
    return exchange(m_deviceHandle, request, answer);
}

std::int16_t USB_IO::Set_Relay(std::int16_t& RelayNo, std::int16_t& On_OFF)
{
    if (RelayNo > 7)
        RelayNo = 7;
    if (RelayNo < 0)
        RelayNo = 0;
    if (On_OFF > 1)
        On_OFF = 1;
    if (On_OFF < 0)
        On_OFF = 0;
    Report request = makeRequest(cmd::SetRelay);
    request[2] = static_cast<std::uint8_t>(RelayNo);
    request[3] = static_cast<std::uint8_t>(On_OFF);
    Report answer;
    return exchange(m_deviceHandle, request, answer);
}

std::int16_t USB_IO::Set_TTLBit(const std::string& BitName, const std::int16_t& BitVal)
{
    const auto line = wire::encodeLineName(BitName);
    if (!line || BitVal < 0 || BitVal > 255)
        return 0;
    Report request = makeRequest(cmd::SetTtlBit);
    putLineName(request, 2, *line);
    request[4] = static_cast<std::uint8_t>(BitVal);
    Report answer;
    return exchange(m_deviceHandle, request, answer);
}

std::int16_t USB_IO::Set_TTLPulse(const std::string& BitName, const std::int16_t& ms)
{
    const auto line = wire::encodeLineName(BitName);
    if (!line || ms < 0 || ms > 255)
        return 0;
    Report request = makeRequest(cmd::SetTtlPulse);
    putLineName(request, 2, *line);
    request[4] = static_cast<std::uint8_t>(ms);
    Report answer;
    return exchange(m_deviceHandle, request, answer);
}

// ---- discovery and connection ---------------------------------------------------------

bool USB_IO::Find_Device(std::int16_t& DeviceCount, std::int16_t Index, std::string& DevicePath)
{
    // Identity comes from the enumeration; only interfaces with the box's IDs are opened,
    // to check that they can be: a box held by another program is not a box.
    std::int16_t count = 0;
    bool seen = false;
    std::vector<HidInterface> interfaces;
    try {
        interfaces = m_backend.enumerate();
    } catch (...) {
    }
    for (const auto& hid : interfaces) {
        if (hid.vendorId != kBoxVendorId || hid.productId != kBoxProductId)
            continue;
        HidHandle probe = 0;
        try {
            probe = m_backend.open(hid.path);
        } catch (...) {
        }
        if (probe <= 0)
            continue;
        seen = true;
        if (count == Index)
            DevicePath = hid.path;
        ++count;
        closeQuietly(probe);
    }
    DeviceCount = count;
    return seen;
}

std::int16_t USB_IO::Count_Devices()
{
    std::int16_t count = 0;
    std::string unused;
    Find_Device(count, 0, unused);
    return count;
}

HidHandle USB_IO::Open_Path(const std::string& DevicePath)
{
    if (DevicePath.empty())
        return 0;
    try {
        const HidHandle handle = m_backend.open(DevicePath);
        return handle > 0 ? handle : 0;
    } catch (...) {
        return 0;
    }
}

std::int16_t USB_IO::Read_Device_SN(HidHandle& Handle, std::string& SN)
{
    Report answer;
    const auto status = exchange(Handle, makeRequest(cmd::ReadSn), answer);
    SN = wire::textAnswer(answer);
    return status;
}

void USB_IO::walkBoxes(const std::function<void(const std::string&, const std::string&)>& visit)
{
    const std::int16_t count = Count_Devices();
    for (std::int16_t i = 0; i < count; ++i) {
        pump();
        std::int16_t passCount = 0;
        std::string path;
        const bool seen = Find_Device(passCount, i, path);
        pump();
        if (!seen)
            continue;
        pump();
        HidHandle temp = Open_Path(path);
        pump();
        if (temp == 0)
            continue;
        std::string sn;
        Read_Device_SN(temp, sn);
        pump();
        closeQuietly(temp);
        pump();
        visit(path, sn);
    }
    pump();
}

std::vector<std::string> USB_IO::Collect_SNs()
{
    std::vector<std::string> serials;
    walkBoxes([&](const std::string&, const std::string& sn) { serials.push_back(sn); });
    return serials;
}

std::string USB_IO::Find_Path_By_SN(const std::string& SN)
{
    // The walk goes on past a match: of boxes sharing a serial number the last one wins.
    std::string found;
    walkBoxes([&](const std::string& path, const std::string& sn) {
        if (sn == SN)
            found = path;
    });
    return found;
}

std::int16_t USB_IO::Get_Available_SN_List(std::string& SN_List)
{
    const std::int16_t count = Count_Devices();
    if (count == 0)
        return 0;
    std::string list;
    for (const auto& sn : Collect_SNs())
        list += " " + sn;
    SN_List = wire::trimBlanks(list);
    return count;
}

void USB_IO::Open_Device(HidHandle& Handle, const std::string& SN)
{
    if (Handle != 0) {
        closeQuietly(Handle);
        Handle = 0;
    }
    if (Count_Devices() == 0) {
        m_deviceFound = 0;
        return;
    }
    if (!SN.empty()) {
        m_devicePath = Find_Path_By_SN(SN);
    } else {
        std::int16_t count = 0;
        std::string path = m_devicePath;
        if (!Find_Device(count, 0, path)) {
            m_deviceFound = 0;
            return;
        }
        m_devicePath = path;
    }
    Handle = Open_Path(m_devicePath);
    m_deviceFound = Handle != 0 ? -1 : 0;
}

std::int16_t USB_IO::Connect(const std::string& SN)
{
    if (m_connected == 1)
        return 2;
    pump();
    Open_Device(m_deviceHandle, SN);  // sets m_deviceFound, whatever it finds
    if (m_deviceHandle >= 1) {
        m_connected = m_deviceFound != 0 ? 1 : 0;
        pump();
        return m_connected;
    }
    return 0;
}

void USB_IO::Disconnect()
{
    if (m_deviceHandle != 0) {
        closeQuietly(m_deviceHandle);
        m_deviceHandle = 0;
    }
    m_connected = 0;
}

}  // namespace iox
