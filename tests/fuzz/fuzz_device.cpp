// Fuzzes the device layer: a backend whose listing, opens, reads and stale reports come from
// the fuzzer's bytes, driven through every command of USB_IO. Nothing a box sends may crash or hang.

#include <cstdint>
#include <sstream>
#include <string>

#include "device/commands.h"
#include "device/usb_io.h"
#include "fuzz_support.h"

namespace {

struct Bytes {
    const std::uint8_t* data;
    std::size_t size, pos = 0;
    bool empty() const { return pos >= size; }
    std::uint8_t next() { return pos < size ? data[pos++] : 0; }
    std::string text(std::size_t max)
    {
        std::string s;
        for (std::size_t n = next() % (max + 1); n > 0 && !empty(); --n)
            s.push_back(static_cast<char>(next()));
        return s;
    }
};

class FuzzBackend : public iox::HidBackend {
public:
    explicit FuzzBackend(Bytes& bytes) : m_bytes(bytes) {}
    std::vector<iox::HidInterface> enumerate() override
    {
        std::vector<iox::HidInterface> list;
        for (int n = m_bytes.next() % 6; n > 0; --n) {
            const bool box = m_bytes.next() % 4 != 0;
            list.push_back({"p" + std::to_string(m_bytes.next() % 4), box ? iox::kBoxVendorId : std::uint16_t(1),
                            box ? iox::kBoxProductId : std::uint16_t(2)});
        }
        return list;
    }
    iox::HidHandle open(const std::string&) override
    {
        return m_bytes.next() % 5 == 0 ? 0 : static_cast<iox::HidHandle>(1 + m_bytes.next() % 100);
    }
    bool write(iox::HidHandle, const iox::Report& report) override
    {
        m_lastCode = report[1];
        return m_bytes.next() % 8 != 0;
    }
    bool read(iox::HidHandle, iox::Report& report, std::chrono::milliseconds) override
    {
        if (m_bytes.empty())
            return false;
        switch (m_bytes.next() % 4) {
        case 0: return false;  // failed, or no report within the timeout
        case 1:                // a stale report answering some other command
            report.fill(0);
            report[1] = m_bytes.next();
            return true;
        default:  // the echo, with arbitrary data
            for (auto& byte : report)
                byte = m_bytes.next();
            report[0] = 0;
            report[1] = m_lastCode;
            return true;
        }
    }
    void close(iox::HidHandle) override {}

private:
    Bytes& m_bytes;
    std::uint8_t m_lastCode = 0;
};

bool ok(std::int16_t status) { return status == 0 || status == 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Bytes bytes{data, size};
    FuzzBackend backend(bytes);
    iox::USB_IO io{backend};
    io.setExchangeTimeout(std::chrono::milliseconds(50));

    std::string list;
    check(io.Get_Available_SN_List(list) >= 0);
    // The list comes from a walk of its own, which may see more boxes than the first count;
    // each serial number in it still holds at most 20 characters.
    std::istringstream serials(list);
    for (std::string serial; std::getline(serials, serial, ' ');)
        check(serial.size() <= 20);
    check(ok(io.Connect(bytes.next() % 2 ? bytes.text(22) : std::string{})));

    while (!bytes.empty()) {
        std::uint8_t value = 0, a0, a1, a2, a3;
        std::int16_t relay = static_cast<std::int16_t>(bytes.next() << 8 | bytes.next()), state = relay;
        std::string text;
        switch (bytes.next() % 16) {
        case 0: check(static_cast<unsigned>(io.GetExtFirmware(a0, a1, a2, a3, text)) <= 255 && text.size() == 2); break;
        case 1: check(io.Read_ModelName(text) <= 1 && text.size() <= 20); break;
        case 2: check(io.Read_SN(text) <= 1 && text.size() <= 20); break;
        case 3: check(ok(io.ReadByteA(value))); break;
        case 4: check(ok(io.ReadByte(bytes.text(2), value))); break;
        case 5: check(ok(io.ReadBit(bytes.text(3), value))); break;
        case 6: check(ok(io.Set_Relay(relay, state)) && relay >= 0 && relay <= 7 && state >= 0 && state <= 1); break;
        case 7: check(ok(io.Set_SPI_PulseWidth(relay)) && relay >= 0 && relay <= 255); break;
        case 8: check(ok(io.SPI_OUT(bytes.text(3), bytes.text(3), bytes.text(3), bytes.text(70)))); break;
        case 9: check(ok(io.SPI_OUT_Trigg(bytes.text(70), relay))); break;
        case 10: check(ok(io.Set_TTLBit(bytes.text(3), relay))); break;
        case 11: check(ok(io.Set_TTLPulse(bytes.text(3), relay))); break;
        case 12: check(ok(io.Set_RelayByte(bytes.next()))); break;
        case 13: check(io.ResetCPU() <= 1); break;
        case 14: check(ok(io.Read_Relays_Byte(value))); break;
        default:
            io.Disconnect();
            check(io.GetUSBDeviceHandle() == 0 && io.Connect() <= 1);
            break;
        }
    }
    return 0;
}
