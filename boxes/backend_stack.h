#pragma once
// The boxes a program talks to, as a stack of backends built once: at the bottom the real
// boxes (hidapi), simulated boxes or a recording played back; above it, when asked, the
// recording of every call and the trace of every report. Every program and the Python
// module build their bus here.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/hid_backend.h"
#include "device/sim/sim_box.h"
#include "tracing_backend.h"

namespace iox::sim {
class SimBackend;
}
namespace iox::record {
class ReplayBackend;
}

namespace iox::boxes {

struct StackOptions {
    std::string program;  // the recording's maker, e.g. "ioxctl"

    // The bottom: a replay when set, else simulated boxes when there are any, else `bus`
    // when given (a caller's own backend), else the real boxes.
    std::optional<std::string> replay;
    bool replayTiming = false;                              // keep the recorded gaps
    std::function<void(const std::string&)> onReplayStop;  // told why a replay stopped
    std::vector<sim::BoxConfig> simulated;
    std::chrono::milliseconds simulatedAnswerDelay{0};  // each simulated answer this late
    HidBackend* bus = nullptr;

    std::optional<std::string> record;  // record every call into this file
    TraceSink trace;                    // show every report; empty: no trace
};

class BackendStack {
public:
    ~BackendStack();
    BackendStack(const BackendStack&) = delete;
    BackendStack& operator=(const BackendStack&) = delete;

    struct Built;
    // The stack, or why it cannot be built (a recording refused, a file not writable).
    static Built build(StackOptions options);

    HidBackend& bus() { return *m_top; }                      // what the program uses
    sim::SimBackend* simulated() const { return m_sim; }       // the simulated boxes, if any
    record::ReplayBackend* replay() const { return m_replay; } // the replay, if any
    // Whether a box's restart takes real time: not for simulated boxes, which restart at
    // once, nor for a replay, which keeps the recorded gaps itself (or none).
    bool restartsTakeTime() const { return !m_sim && !m_replay; }

private:
    BackendStack() = default;

    std::vector<std::unique_ptr<HidBackend>> m_layers;  // bottom first
    HidBackend* m_top = nullptr;
    sim::SimBackend* m_sim = nullptr;
    record::ReplayBackend* m_replay = nullptr;
};

struct BackendStack::Built {
    std::unique_ptr<BackendStack> stack;  // empty when refused
    std::string error;
};

// A trace sink that writes into a file, or nullopt when the file cannot be written.
std::optional<TraceSink> traceIntoFile(const std::string& path);

}  // namespace iox::boxes
