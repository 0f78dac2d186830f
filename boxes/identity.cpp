#include "identity.h"

#include "device/one_box_backend.h"

namespace iox::boxes {

std::optional<std::string> readSerial(USB_IO& io)
{
    std::string serial;
    if (io.Read_SN(serial) != 1)
        return std::nullopt;
    return serial;
}

std::optional<std::string> readModel(USB_IO& io)
{
    std::string model;
    if (io.Read_ModelName(model) != 1)
        return std::nullopt;
    return model;
}

Firmware readFirmware(USB_IO& io)
{
    // The four version bytes besides the level are not used by anything here.
    std::uint8_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    Firmware firmware;
    firmware.level = io.GetExtFirmware(a0, a1, a2, a3, firmware.revision);
    firmware.revision.resize(firmware.revision.find('\0') == std::string::npos ? firmware.revision.size()
                                                                                 : firmware.revision.find('\0'));
    return firmware;
}

Identity identify(HidBackend& bus, const std::string& path, Ask ask, std::chrono::milliseconds timeout)
{
    Identity box;
    box.path = path;
    OneBoxBackend view(bus, path);
    USB_IO device(view);
    device.setExchangeTimeout(timeout);
    if (device.Connect() != 1)
        return box;
    box.opened = true;
    const auto serial = readSerial(device);
    box.answered = serial.has_value();
    box.serial = serial.value_or(std::string());
    if (box.answered && ask == Ask::Everything) {
        // Both are asked whatever the first answer: a box that went silent says so in both.
        box.model = readModel(device).value_or(std::string());
        box.firmware = readFirmware(device);
    }
    return box;
}

}  // namespace iox::boxes
