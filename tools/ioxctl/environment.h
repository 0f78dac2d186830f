#pragma once
// What a command runs against: its output streams, the bus, and the few things that tests
// replace (waits, the signals received, the file-system checks of doctor).

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "device/hid_backend.h"
#include "device/usb_io.h"

namespace iox::ctl {

// What the operating system lets this user do with a device path.
enum class PathAccess { Unknown, Allowed, Denied };

struct Environment {
    Environment(std::ostream& output, std::ostream& errors) : out(output), err(errors) {}

    std::ostream& out;
    std::ostream& err;
    bool outIsTerminal = false;
    bool errIsTerminal = false;
    // The bus of real boxes; nullptr: ioxctl opens its own (hidapi). --simulate replaces it.
    HidBackend* bus = nullptr;
    std::chrono::milliseconds exchangeTimeout = USB_IO::kDefaultExchangeTimeout;
    // Bound of each bootloader answer; 0 keeps the firmware window's own bound.
    std::chrono::milliseconds lineBound{0};
    std::function<void(std::chrono::milliseconds)> sleep;  // empty: a real sleep
    std::function<int()> signalCount;  // SIGINT and SIGTERM received so far; empty: none
    std::function<PathAccess(const std::string&)> pathAccess;  // empty: access(2)
    std::function<bool(const std::string&)> fileExists;       // empty: the file system

    void pause(std::chrono::milliseconds duration) const;
    int signals() const { return signalCount ? signalCount() : 0; }
    bool stopRequested() const { return signals() > 0; }
    PathAccess accessOf(const std::string& path) const;
    bool exists(const std::string& path) const;
};

}  // namespace iox::ctl
