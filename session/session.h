#pragma once
// The windows' shared session, below the panels and the firmware windows: the one shared
// USB_IO object, the backend every window's device objects use, the chosen firmware file
// and the latest-firmware lookup.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "device/hid_backend.h"
#include "device/usb_io.h"

namespace iox::session {

// The backend and the "let pending window events run" call that every USB_IO object of
// the application is built with. Set once by the program's entry (or a test) before any
// window opens. A shared device object built on another backend is dropped first.
void setDeviceBackend(HidBackend& backend, std::function<void()> pumpEvents);
// Drops the shared device object and forgets the backend, so that no device object of the
// session outlives the backend it talks through. The program's entry calls it before its
// backend goes.
void endSession();
HidBackend& deviceBackend();
const std::function<void()>& devicePump();

// A new device object of its own for a window (ListForm's temporaries, IO4's).
std::unique_ptr<USB_IO> makeDevice();

// The shared device object: created on first use, never replaced while the program runs.
USB_IO& sharedDevice();

// Full path of the firmware file chosen in the browse window, or empty. Keeps its value
// between openings of the browse window.
QString& FirmwareFilePath();

// Latest firmware available for a model: level 3 and revision "A1" for every model.
std::int16_t GetLatestFirmware(const std::string& model, std::string& LatestRevision);

// Drops the shared object and clears the firmware path, so each test starts afresh.
void resetForTests();

}  // namespace iox::session
