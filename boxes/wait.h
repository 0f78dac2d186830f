#pragma once
// Waiting for the box's state to meet a condition: reads of what the condition needs, back
// to back as the panel polls, until it holds, the time runs out, the caller stops it or a
// read goes unanswered. Python's waits and watch and ioxctl's wait all run here.

#include <chrono>
#include <functional>

#include "models.h"
#include "state.h"

namespace iox::boxes {

struct Condition {
    Parts parts;                                // what each read asks, and nothing more
    std::function<bool(const State&)> holds;
};

// A line at a level: its port alone is read.
Condition lineAt(const Line& line, bool high);
// Any difference from `last`: the same parts read again.
Condition changedFrom(const State& last);

enum class WaitEnd { Held, TimedOut, Stopped, Unanswered };

struct WaitOutcome {
    WaitEnd end = WaitEnd::TimedOut;
    State state;  // the last read: the one that met the condition, or the unanswered one
    std::chrono::steady_clock::duration waited{};  // from the start to the end of that read
};

struct Wait {
    Condition condition;
    std::chrono::steady_clock::duration timeout{};  // 0: one read
    // Asked after each read that does not meet the condition; true ends the wait.
    std::function<bool()> stop;
    // Run around each read (a caller that shares the bus lets it go in between); empty: read.
    std::function<State(const std::function<State()>&)> around;
};

// Reads at least once; gives up only between reads, so a read under way always ends.
WaitOutcome waitUntil(USB_IO& io, const Wait& wait);

}  // namespace iox::boxes
