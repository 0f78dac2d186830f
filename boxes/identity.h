#pragma once
// What a box says about itself: its serial number, its model name and its firmware, each
// asked with its own request, and a box's whole identity read on a handle of its own.

#include <chrono>
#include <optional>
#include <string>

#include "device/hid_backend.h"
#include "device/usb_io.h"

namespace iox::boxes {

struct Firmware {
    int level = 0;         // GetExtFirmware's result
    std::string revision;  // two characters, cut at a NUL byte like every text a box sends
};

// The requests on a connected box; nullopt when the box did not answer.
std::optional<std::string> readSerial(USB_IO& io);
std::optional<std::string> readModel(USB_IO& io);
Firmware readFirmware(USB_IO& io);

enum class Ask {
    Serial,      // the serial number only
    Everything,  // then, once it answered, the model name and the firmware
};

struct Identity {
    std::string path;
    bool opened = false;    // the path could be opened
    bool answered = false;  // the box answered its serial-number request
    std::string serial;
    std::optional<std::string> model;  // asked with Ask::Everything
    std::optional<Firmware> firmware;  // asked with Ask::Everything
    bool sharedSerial = false;         // set by listBoxes: another box answers the same
};

// Opens the box at path on a handle of its own, asks, and closes it again.
Identity identify(HidBackend& bus, const std::string& path, Ask ask,
                  std::chrono::milliseconds timeout = USB_IO::kDefaultExchangeTimeout);

}  // namespace iox::boxes
