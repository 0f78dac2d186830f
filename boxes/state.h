#pragma once
// The box's state: one read of ports A and B and the relays, as many of them as asked, in
// that order, with the time it was taken; the comparison of two states; and the one poll
// loop that the command line's watch, the daemon and scripts use.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "device/usb_io.h"
#include "models.h"

namespace iox::boxes {

enum class Part { A, B, Relays };

struct Parts {
    bool a = true, b = true, relays = true;
};
// What a model has: a port without lines, or no relays, is not read.
Parts partsOf(const Model& model);

struct State {
    std::uint8_t a = 0, b = 0, relays = 0;       // bit i is line or relay i; 0 where not read
    Parts read{false, false, false};            // what was read and answered
    std::optional<Part> failed;                 // the read that went unanswered, and ended the rest
    std::chrono::steady_clock::time_point time; // when the read ended

    bool answered() const { return !failed; }
    // The same parts read, with the same levels; the time does not count.
    bool sameAs(const State& other) const;
};

// Reads what is asked in the order A, B, relays and stops at the first read that the box
// does not answer.
State readState(USB_IO& io, Parts parts);

struct Poll {
    Parts parts;
    std::chrono::milliseconds interval{0};  // between reads; 0: back to back
    // Asked before each read and before each pause; true ends the loop.
    std::function<bool()> stop;
    // The first state, then each one that differs from the last.
    std::function<void(const State&)> changed;
    // How the loop waits between reads (a caller may serve other work meanwhile); empty:
    // a sleep of the interval, none for 0.
    std::function<void(std::chrono::milliseconds)> pause;
};

// Polls until stopped (nullopt) or until a read goes unanswered (that state).
std::optional<State> poll(USB_IO& io, const Poll& poll);

}  // namespace iox::boxes
