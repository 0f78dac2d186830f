#pragma once
// The boxes on a bus and the choice of one: by path, by serial number, or the only box.
// The outcome is typed; each front end words it its own way.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "identity.h"

namespace iox::boxes {

// Paths of the interfaces with the box's vendor and product ID, in the platform's order.
// Nothing is opened.
std::vector<std::string> boxPaths(HidBackend& bus);

// Every box with its identity, sharedSerial set where two boxes answer the same.
std::vector<Identity> listBoxes(HidBackend& bus, Ask ask,
                                std::chrono::milliseconds timeout = USB_IO::kDefaultExchangeTimeout);

enum class Outcome {
    Chosen,
    NoneAttached,  // no box at all
    Several,       // more than one box, and none named
    NotFound,      // no box at that path or with that serial number
    SerialShared,  // several boxes answer the serial number asked for
    CannotOpen,    // the chosen box cannot be opened (permissions, another program)
    NotAnswering,  // the chosen box does not answer
};

struct Wanted {
    std::optional<std::string> serial;
    std::optional<std::string> path;  // wins over serial
};

struct Selection {
    Outcome outcome = Outcome::Chosen;
    std::string path;                  // Chosen
    std::size_t attached = 0;          // boxes on the bus
    std::vector<std::string> sharing;  // SerialShared: the paths of those boxes
    std::size_t unasked = 0;           // NotFound by serial: boxes that could not be asked
};

// Boxes are asked only when a serial number is wanted, and then only what `ask` says.
Selection selectBox(HidBackend& bus, const Wanted& wanted,
                    std::chrono::milliseconds timeout = USB_IO::kDefaultExchangeTimeout, Ask ask = Ask::Serial);

}  // namespace iox::boxes
