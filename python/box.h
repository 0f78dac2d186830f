#pragma once
// The boxes as the Python module presents them, in plain C++: a bus (the real HID boxes or
// simulated ones), what it lists, and an open box whose every call either succeeds or
// throws a Failure. Arguments are checked in full before anything is sent, with the
// refusals ioxctl gives. No Python here; module.cpp binds it.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "boxes/backend_stack.h"
#include "boxes/identity.h"
#include "boxes/models.h"
#include "boxes/state.h"
#include "boxes/wait.h"
#include "device/hid_backend.h"
#include "device/one_box_backend.h"
#include "device/usb_io.h"
#include "interrupts.h"
#include "turn_lock.h"

namespace iox::sim {
class SimBackend;
}
namespace iox::record {
class ReplayBackend;
}

namespace iox::python {

enum class Fault { NotConnected, Timeout, BadArgument, Firmware, Busy, Interrupted };

struct Failure : std::runtime_error {
    Failure(Fault f, const std::string& message) : std::runtime_error(message), fault(f) {}
    Fault fault;
    std::string reason;  // FirmwareError only: what went wrong, without the line
    int line = 0;        // FirmwareError only: 1-based image line, 0 when no line is at fault
};

using Firmware = boxes::Firmware;

class Box;

class Bus : public std::enable_shared_from_this<Bus> {
public:
    // (model, serial) pairs; models are the four the boxes report.
    // With `record`, every call to the boxes is also written to that file.
    static std::shared_ptr<Bus> simulated(const std::vector<std::pair<std::string, std::string>>& boxes,
                                          const std::optional<std::string>& record = {});
    // The process's one bus of real boxes; with `record`, a bus of its own that records.
    static std::shared_ptr<Bus> hid(const std::optional<std::string>& record = {});
    // The boxes of a recording, played back; `timing` keeps the recorded gaps.
    static std::shared_ptr<Bus> replay(const std::string& path, bool timing);
    ~Bus();

    std::vector<boxes::Identity> list();
    // By serial number, or by path when path is set; neither: the only box attached.
    std::unique_ptr<Box> open(const std::optional<std::string>& serial, const std::optional<std::string>& path);

    bool isSimulated() const { return m_sim != nullptr; }
    // Simulated buses only; box is a serial number or a path.
    std::vector<Report> requests(const std::string& box);
    void clearRequests();
    void setInputs(const std::string& box, const std::string& port, long long byte);
    void setAnswerDelay(const std::string& box, double seconds);
    void unplug(const std::string& box);
    std::size_t openHandles();
    // Replay buses only: why the replay stopped (empty while it runs true), and whether
    // every recorded call was served.
    std::string replayStopReport() const;
    bool isReplay() const { return m_replay != nullptr; }
    // Why the replay stopped; empty on any other bus and while a replay runs true.
    std::string replayStopped() const;
    bool replayComplete() const;

    // Every use of the backend holds this: boxes of one bus are reached one at a time.
    TurnLock& mutex() { return m_mutex; }
    // The path of a box whose firmware is being written (mutex() held), or empty: a walk over
    // the bus would open it and talk to its bootloader.
    void setUpdating(std::string path) { m_updating = std::move(path); }
    HidBackend& backend() { return m_stack->bus(); }
    bool restartsTakeTime() const { return m_stack->restartsTakeTime(); }

private:
    explicit Bus(boxes::StackOptions options);
    std::size_t simIndex(const std::string& box);

    void refuseWalkWhileUpdating() const;  // mutex() held

    std::unique_ptr<boxes::BackendStack> m_stack;
    std::string m_updating;
    sim::SimBackend* m_sim = nullptr;
    record::ReplayBackend* m_replay = nullptr;
    TurnLock m_mutex;
};

class Box {
public:
    using Progress = std::function<void(double fraction, int line)>;

    Box(std::shared_ptr<Bus> bus, std::string path);  // connects and reads the identity
    ~Box();
    Box(const Box&) = delete;
    Box& operator=(const Box&) = delete;

    // With off_on_close, close() first switches the relays off and writes 0 to each port this
    // Box set as output or wrote to; a failed switch-off is thrown once the handle is closed.
    void close();
    bool closed() const { return !m_io; }
    void setOffOnClose(bool on) { m_offOnClose = on; }
    const std::string& path() const { return m_path; }
    const std::string& serial() const;
    const std::string& model() const;
    const Firmware& firmware() const;
    double timeout() const;
    void setTimeout(double seconds);

    void setRelay(long long relay, bool on);
    bool relay(long long relay);
    void setRelayByte(long long byte);
    std::uint8_t relayByte();
    void setDirection(char port, const std::string& direction);
    std::optional<std::string> direction(char port) const;
    void setPortByte(char port, long long byte);
    std::uint8_t portByte(char port);
    void setLine(char port, long long bit, bool high);
    bool line(char port, long long bit);
    void pulse(const std::string& line, long long ms);
    void spiOut(const std::string& word, const std::string& clock, const std::string& data, const std::string& latch);
    void spiOutTrigger(const std::string& word, bool trigger);
    void setSpiPulseWidth(long long us);
    std::optional<int> spiPulseWidth() const { return m_pulseWidth; }
    void flash(const std::string& file, const Progress& progress);

    // One read of what the model has: ports A and B and the relays.
    boxes::State read();
    // Seconds until the line reads the level, reading its port alone; Timeout after `timeout` s.
    double waitFor(const std::string& line, bool high, double timeout);
    double waitFor(char port, long long bit, bool high, double timeout);
    // The first state that `holds` takes; Timeout after `timeout` s.
    boxes::State waitUntil(const std::function<bool(const boxes::State&)>& holds, double timeout);
    // The first state that differs from `last`, or nothing once `deadline` has passed.
    std::optional<boxes::State> nextChange(const boxes::State& last, std::chrono::steady_clock::time_point deadline);

private:
    // Runs one use of the box: refuses a closed box and a second thread, holds the bus.
    template <typename Call>
    auto use(Call&& call);
    // One command through use(), its status checked.
    template <typename Call>
    void exchange(const char* what, Call&& call);
    // Turns a failed exchange (status 0) into Timeout or NotConnected.
    void check(std::int16_t status, const char* what, std::chrono::steady_clock::time_point start) const;
    void connect();
    // One call at a time: takes the box, or refuses with `refusal` (another thread holds it).
    void takeTurn(const char* refusal);
    // Asked while the call waits: whether a signal should end the wait now.
    bool giveUp();
    // What the box's model has; every box when the model is not known.
    const boxes::Model& layout() const;
    // Reads until the condition holds or the time is out (TimedOut comes back, not thrown).
    boxes::WaitOutcome wait(const boxes::Condition& condition, std::chrono::steady_clock::duration timeout,
                            const char* what);
    // What this Box did to a port: off_on_close writes 0 only to a port it drove.
    enum class PortUse { Untouched, Driven, Input };
    void drove(char port);
    void switchOff(USB_IO& io);

    std::shared_ptr<Bus> m_bus;
    std::string m_path;
    SlicedBackend m_sliced;  // reads that Ctrl-C cuts short
    OneBoxBackend m_view;
    int m_signals = 0;            // signals during the call in progress
    bool m_inBootloader = false;  // a flash has reset the box: one signal only warns
    std::unique_ptr<USB_IO> m_io;
    std::atomic<bool> m_busy{false};
    std::thread::id m_user;                          // the thread of the call in progress
    std::unique_lock<TurnLock>* m_busLock = nullptr;  // the bus, held by that call
    std::chrono::milliseconds m_timeout = USB_IO::kDefaultExchangeTimeout;
    std::string m_serial, m_model;
    Firmware m_firmware;
    std::optional<std::string> m_directionA, m_directionB;
    std::optional<int> m_pulseWidth;
    bool m_offOnClose = false;
    PortUse m_useA = PortUse::Untouched, m_useB = PortUse::Untouched;
};

}  // namespace iox::python
