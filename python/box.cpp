#include "box.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <map>
#include <sstream>
#include <thread>

#include "boxes/checks.h"
#include "boxes/selection.h"
#include "boxes/simulated_boxes.h"
#include "device/commands.h"
#include "device/record/replay_backend.h"
#include "device/sim/sim_backend.h"
#include "firmware_core/update_front_end.h"

namespace iox::python {

namespace {

std::string bootloaderWarning(const std::string& serial)
{
    return "the box " + serial + " is in its bootloader: stopping now would leave it there until it takes a good "
           "image; the update goes on (Ctrl-C again to stop anyway)";
}


[[noreturn]] void refuse(const std::string& message) { throw Failure(Fault::BadArgument, message); }

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The checked value, or BadArgument with the shared reason.
template <class T>
T need(const boxes::Checked<T>& checked)
{
    if (!checked)
        refuse(checked.refusal().reason);
    return *checked;
}

}  // namespace

// ---- bus ----------------------------------------------------------------------------

Bus::Bus(boxes::StackOptions options)
{
    options.program = "python3-iox";
    auto built = boxes::BackendStack::build(std::move(options));
    if (!built.stack)
        refuse(built.error);  // a recording that cannot be read, or written
    m_stack = std::move(built.stack);
    m_sim = m_stack->simulated();
    m_replay = m_stack->replay();
}
Bus::~Bus() = default;

std::shared_ptr<Bus> Bus::simulated(const std::vector<std::pair<std::string, std::string>>& boxes,
                                    const std::optional<std::string>& record)
{
    boxes::StackOptions options;
    for (const auto& [model, serial] : boxes) {
        std::string error;
        const auto box = boxes::simulatedBox(model, serial, error);
        if (!box)
            refuse(error);
        options.simulated.push_back(*box);
    }
    options.record = record;
    return std::shared_ptr<Bus>(new Bus(std::move(options)));
}

std::shared_ptr<Bus> Bus::replay(const std::string& path, bool timing)
{
    boxes::StackOptions options;
    options.replay = path;
    options.replayTiming = timing;
    return std::shared_ptr<Bus>(new Bus(std::move(options)));
}

std::string Bus::replayStopped() const
{
    return m_replay && m_replay->stopped() ? m_replay->stopReport() : std::string();
}

std::string Bus::replayStopReport() const
{
    if (!m_replay)
        throw Failure(Fault::BadArgument, "only a replay bus (iox.replay) has a stop report");
    return m_replay->stopped() ? m_replay->stopReport() : std::string();
}

bool Bus::replayComplete() const
{
    if (!m_replay)
        throw Failure(Fault::BadArgument, "only a replay bus (iox.replay) can be complete");
    return m_replay->complete();
}

std::shared_ptr<Bus> Bus::hid(const std::optional<std::string>& record)
{
    if (record) {
        boxes::StackOptions options;
        options.record = record;
        return std::shared_ptr<Bus>(new Bus(std::move(options)));
    }
    static std::mutex guard;
    static std::weak_ptr<Bus> current;
    std::lock_guard lock(guard);
    auto bus = current.lock();
    if (!bus) {
        bus = std::shared_ptr<Bus>(new Bus(boxes::StackOptions{}));
        current = bus;
    }
    return bus;
}

void Bus::refuseWalkWhileUpdating() const
{
    if (!m_updating.empty())
        throw Failure(Fault::Busy, "the box at " + m_updating +
                                       " is taking new firmware: the bus cannot be walked until its update ends");
}

std::vector<boxes::Identity> Bus::list()
{
    std::lock_guard lock(m_mutex);
    refuseWalkWhileUpdating();
    return boxes::listBoxes(backend(), boxes::Ask::Everything);
}

std::unique_ptr<Box> Bus::open(const std::optional<std::string>& serial, const std::optional<std::string>& path)
{
    if (serial && path)
        refuse("open a box by serial number or by path, not both");
    boxes::Selection selection;
    {
        std::lock_guard lock(m_mutex);
        if (serial)
            refuseWalkWhileUpdating();
        selection = boxes::selectBox(backend(), {serial, path}, USB_IO::kDefaultExchangeTimeout, boxes::Ask::Everything);
    }
    switch (selection.outcome) {
    case boxes::Outcome::Chosen:
        return std::make_unique<Box>(shared_from_this(), selection.path);
    case boxes::Outcome::NoneAttached:
        throw Failure(Fault::NotConnected, "no box attached");
    case boxes::Outcome::Several:
        refuse(std::to_string(selection.attached) + " boxes attached: open one by serial number or path");
    case boxes::Outcome::SerialShared: {
        std::string message = std::to_string(selection.sharing.size()) + " boxes share the serial number " + *serial +
                              ": open one by path:";
        for (const auto& match : selection.sharing)
            message += " " + match;
        refuse(message);
    }
    default:
        throw Failure(Fault::NotConnected,
                      path ? "no box at the path " + quoted(*path) : "no box with the serial number " + *serial);
    }
}

std::size_t Bus::simIndex(const std::string& box)
{
    if (!m_sim)
        throw Failure(Fault::BadArgument, "only a simulated bus (iox.simulate) has request logs and input lines");
    std::vector<std::size_t> matches;
    for (std::size_t i = 0; i < m_sim->boxCount(); ++i) {
        if (m_sim->pathOf(i) == box)
            return i;
        if (m_sim->box(i).config().serial == box)
            matches.push_back(i);
    }
    if (matches.size() != 1)
        refuse(matches.empty() ? "no simulated box " + quoted(box)
                               : "several simulated boxes have the serial number " + box + ": name one by path");
    return matches.front();
}

std::vector<Report> Bus::requests(const std::string& box)
{
    std::lock_guard lock(m_mutex);
    const std::size_t index = simIndex(box);
    return m_sim->requestsTo(index);
}

void Bus::clearRequests()
{
    std::lock_guard lock(m_mutex);
    if (!m_sim)
        simIndex({});  // the refusal of a real bus
    m_sim->clearLog();
}

void Bus::setInputs(const std::string& box, const std::string& port, long long byte)
{
    const char letter = need(boxes::checkPort(port));
    const std::uint8_t levels = need(boxes::checkByte(byte));
    std::lock_guard lock(m_mutex);
    const std::size_t index = simIndex(box);
    sim::SimBox& model = m_sim->box(index);
    if (letter == 'A')
        model.setInputA(levels);
    else
        model.setInputB(levels);
}

void Bus::setAnswerDelay(const std::string& box, double seconds)
{
    if (!(seconds >= 0 && seconds <= 60))
        refuse("an answer delay is 0 to 60 s");
    std::lock_guard lock(m_mutex);
    const std::size_t index = simIndex(box);
    m_sim->faults(index).answerDelay = std::chrono::milliseconds(std::llround(seconds * 1000));
}

void Bus::unplug(const std::string& box)
{
    std::lock_guard lock(m_mutex);
    const std::size_t index = simIndex(box);
    m_sim->vanish(index);
}

std::size_t Bus::openHandles()
{
    std::lock_guard lock(m_mutex);
    if (!m_sim)
        simIndex({});
    return m_sim->openHandles();
}

// ---- box ----------------------------------------------------------------------------

Box::Box(std::shared_ptr<Bus> bus, std::string path)
    : m_bus(std::move(bus)),
      m_path(std::move(path)),
      m_sliced(m_bus->backend(), [this] { return giveUp(); }),
      m_view(m_sliced, m_path)
{
    std::lock_guard lock(m_bus->mutex());
    connect();
}

Box::~Box()
{
    // Nothing else can hold a box that is being destroyed, so close() finds it idle.
    try {
        close();
    } catch (...) {
    }
}

void Box::connect()
{
    auto io = std::make_unique<USB_IO>(m_view);
    io->setExchangeTimeout(m_timeout);
    if (io->Connect() != 1)
        throw Failure(Fault::NotConnected, "the box at " + m_path +
                                               " cannot be opened (permissions, or another program holds it)");
    const auto start = std::chrono::steady_clock::now();
    const auto serial = boxes::readSerial(*io);
    if (!serial) {
        m_io = std::move(io);
        check(0, "Read_SN", start);
    }
    m_serial = *serial;
    m_model = boxes::readModel(*io).value_or(std::string());
    m_firmware = boxes::readFirmware(*io);
    m_io = std::move(io);
}

void Box::takeTurn(const char* refusal)
{
    bool idle = false;
    if (m_busy.compare_exchange_strong(idle, true)) {
        m_user = std::this_thread::get_id();
        return;
    }
    // Only a firmware update's progress callback calls in on the thread that holds the box.
    if (m_user == std::this_thread::get_id())
        throw Failure(Fault::Busy, "the box " + m_serial + " is being updated: its own progress callback cannot use it");
    throw Failure(Fault::Busy, "the box " + m_serial + " " + refusal);
}

bool Box::giveUp()
{
    if (signalArrived()) {
        ++m_signals;
        if (m_inBootloader && m_signals == 1)
            std::fprintf(stderr, "iox: %s\n", bootloaderWarning(m_serial).c_str());
    }
    return m_signals >= (m_inBootloader ? 2 : 1);
}

void Box::close()
{
    takeTurn("is in use by another thread and cannot be closed now");
    struct Idle {
        std::atomic<bool>& busy;
        ~Idle() { busy = false; }
    } idleAfter{m_busy};
    if (!m_io)
        return;
    std::lock_guard lock(m_bus->mutex());
    std::optional<Failure> failed;
    if (m_offOnClose) {
        m_signals = 0;
        try {
            switchOff(*m_io);
        } catch (const Failure& failure) {
            failed = failure;
        }
    }
    m_io.reset();  // USB_IO's destructor disconnects
    if (failed)
        throw Failure(failed->fault, std::string("the outputs could not be switched off on close: ") + failed->what());
}

void Box::drove(char port)
{
    PortUse& use = port == 'A' ? m_useA : m_useB;
    if (use != PortUse::Input)
        use = PortUse::Driven;
}

// Relays first, then the ports this Box drove; never a direction, so a line the device
// under test drives is not fought over.
void Box::switchOff(USB_IO& io)
{
    const auto start = std::chrono::steady_clock::now();
    if (layout().relays > 0)
        check(io.Set_RelayByte(0), "Set_RelayByte", start);
    if (m_useA == PortUse::Driven)
        check(io.Set_ByteA(0), "Set_ByteA", std::chrono::steady_clock::now());
    if (m_useB == PortUse::Driven)
        check(io.Set_ByteB(0), "Set_ByteB", std::chrono::steady_clock::now());
}

template <typename Call>
auto Box::use(Call&& call)
{
    takeTurn("is in use by another thread: a box takes one call at a time");
    m_signals = 0;
    struct Idle {
        std::atomic<bool>& busy;
        ~Idle() { busy = false; }
    } idleAfter{m_busy};
    if (!m_io)
        throw Failure(Fault::NotConnected, "the box is closed");
    std::unique_lock lock(m_bus->mutex());
    m_busLock = &lock;
    struct Forget {
        std::unique_lock<TurnLock>*& held;
        ~Forget() { held = nullptr; }
    } forgetAfter{m_busLock};
    return call(*m_io);
}

void Box::check(std::int16_t status, const char* what, std::chrono::steady_clock::time_point start) const
{
    if (status == 1)
        return;
    if (m_signals > 0)
        throw Failure(Fault::Interrupted, std::string("interrupted while the box ") + m_serial + " was asked (" + what + ")");
    // A read that fails before the bound is a device gone from the bus; one that reaches it
    // is a box that did not answer.
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed >= m_timeout * 9 / 10)
        throw Failure(Fault::Timeout, "the box " + m_serial + " did not answer within " +
                                          std::to_string(m_timeout.count()) + " ms (" + what + ")");
    if (const std::string report = m_bus->replayStopped(); !report.empty())
        throw Failure(Fault::NotConnected, "the replay stopped (" + std::string(what) + "): " + report);
    throw Failure(Fault::NotConnected, "the box " + m_serial + " at " + m_path + " is gone (" + what + ")");
}

template <typename Call>
void Box::exchange(const char* what, Call&& call)
{
    use([&](USB_IO& io) {
        const auto start = std::chrono::steady_clock::now();
        check(call(io), what, start);
    });
}

const std::string& Box::serial() const
{
    if (!m_io)
        throw Failure(Fault::NotConnected, "the box is closed");
    return m_serial;
}

const std::string& Box::model() const { return serial(), m_model; }
const boxes::Model& Box::layout() const { return boxes::modelOrAnyBox(m_model); }
const Firmware& Box::firmware() const { return serial(), m_firmware; }
double Box::timeout() const { return m_timeout.count() / 1000.0; }

void Box::setTimeout(double seconds)
{
    if (!(seconds >= 0.001 && seconds <= 60))
        refuse("a timeout is 0.001 to 60 s");
    m_timeout = std::chrono::milliseconds(std::llround(seconds * 1000));
    use([&](USB_IO& io) { io.setExchangeTimeout(m_timeout); });
}

void Box::setRelay(long long relay, bool on)
{
    std::int16_t number = static_cast<std::int16_t>(need(boxes::checkRelay(relay, &layout())));
    std::int16_t state = on ? 1 : 0;
    exchange("Set_Relay", [&](USB_IO& io) { return io.Set_Relay(number, state); });
}

bool Box::relay(long long relay)
{
    const int bit = need(boxes::checkRelay(relay));
    return (relayByte() >> bit) & 1;
}

void Box::setRelayByte(long long byte)
{
    const std::uint8_t value = need(boxes::checkByte(byte));
    exchange("Set_RelayByte", [&](USB_IO& io) { return io.Set_RelayByte(value); });
}

std::uint8_t Box::relayByte()
{
    std::uint8_t value = 0;
    exchange("Read_Relays_Byte", [&](USB_IO& io) { return io.Read_Relays_Byte(value); });
    return value;
}

void Box::setDirection(char port, const std::string& direction)
{
    if (direction != "input" && direction != "output")
        refuse("a port's direction is \"input\" or \"output\", got " + quoted(direction));
    if (auto refused = boxes::checkDirectionChange(port, &layout()))
        refuse(refused->reason);
    const bool out = direction == "output";
    if (port == 'A' && out)
        exchange("Set_ByteA_As_Output", [&](USB_IO& io) { return io.Set_ByteA_As_Output(); });
    else if (port == 'A')
        exchange("Set_ByteA_As_Input", [&](USB_IO& io) { return io.Set_ByteA_As_Input(); });
    else if (out)
        exchange("Set_ByteB_As_Output", [&](USB_IO& io) { return io.Set_ByteB_As_Output(); });
    else
        exchange("Set_ByteB_As_Input", [&](USB_IO& io) { return io.Set_ByteB_As_Input(); });
    (port == 'A' ? m_directionA : m_directionB) = direction;
    (port == 'A' ? m_useA : m_useB) = out ? PortUse::Driven : PortUse::Input;
}

std::optional<std::string> Box::direction(char port) const
{
    serial();
    return port == 'A' ? m_directionA : m_directionB;
}

void Box::setPortByte(char port, long long byte)
{
    const std::uint8_t value = need(boxes::checkByte(byte));
    if (port == 'A')
        exchange("Set_ByteA", [&](USB_IO& io) { return io.Set_ByteA(value); });
    else
        exchange("Set_ByteB", [&](USB_IO& io) { return io.Set_ByteB(value); });
    drove(port);
}

std::uint8_t Box::portByte(char port)
{
    std::uint8_t value = 0;
    if (port == 'A')
        exchange("ReadByteA", [&](USB_IO& io) { return io.ReadByteA(value); });
    else
        exchange("ReadByteB", [&](USB_IO& io) { return io.ReadByteB(value); });
    return value;
}

void Box::setLine(char port, long long bit, bool high)
{
    const std::string name = need(boxes::checkLine(port, bit, &layout())).name();
    const std::int16_t level = high ? 1 : 0;
    exchange("Set_TTLBit", [&](USB_IO& io) { return io.Set_TTLBit(name, level); });
    drove(port);
}

bool Box::line(char port, long long bit)
{
    const std::string name = need(boxes::checkLine(port, bit)).name();
    std::uint8_t value = 0;
    exchange("ReadBit", [&](USB_IO& io) { return io.ReadBit(name, value); });
    return value != 0;
}

void Box::pulse(const std::string& line, long long ms)
{
    const boxes::Line checked = need(boxes::checkLine(line, &layout()));
    const std::string name = checked.name();
    const auto length = static_cast<std::int16_t>(need(boxes::checkPulseLength(ms)));
    exchange("Set_TTLPulse", [&](USB_IO& io) { return io.Set_TTLPulse(name, length); });
    drove(checked.port);
}

void Box::spiOut(const std::string& bits, const std::string& clock, const std::string& data, const std::string& latch)
{
    const std::string checked = need(boxes::checkWord(bits, kSpiOutMaxBits));
    const auto lines = need(boxes::checkSerialLines({clock, data, latch}, &layout()));
    const std::string c = lines[0].name(), d = lines[1].name(), l = lines[2].name();
    exchange("SPI_OUT", [&](USB_IO& io) { return io.SPI_OUT(c, d, l, checked); });
    for (const auto& line : lines)
        drove(line.port);
}

void Box::spiOutTrigger(const std::string& bits, bool trigger)
{
    const std::string checked = need(boxes::checkWord(bits, kSpiOutTriggMaxBits));
    const std::int16_t flag = trigger ? 1 : 0;
    exchange("SPI_OUT_Trigg", [&](USB_IO& io) { return io.SPI_OUT_Trigg(checked, flag); });
    for (const auto& line : layout().serialLines)
        drove(line.port);
}

void Box::setSpiPulseWidth(long long us)
{
    std::int16_t width = static_cast<std::int16_t>(need(boxes::checkPulseWidth(us)));
    exchange("Set_SPI_PulseWidth", [&](USB_IO& io) { return io.Set_SPI_PulseWidth(width); });
    m_pulseWidth = width;
}

// ---- reads and waits ----------------------------------------------------------------

namespace {

std::chrono::steady_clock::duration waitTime(double seconds)
{
    if (!(seconds >= 0 && seconds <= 31536000))
        refuse("a wait's timeout is 0 to 31536000 s");
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

double seconds(std::chrono::steady_clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

std::string secondsText(double seconds)
{
    std::ostringstream text;
    text << seconds << " s";
    return text.str();
}

}  // namespace

boxes::State Box::read()
{
    return use([&](USB_IO& io) {
        const auto start = std::chrono::steady_clock::now();
        boxes::State state = boxes::readState(io, boxes::partsOf(layout()));
        if (!state.answered())
            check(0, "read", start);
        return state;
    });
}

boxes::WaitOutcome Box::wait(const boxes::Condition& condition, std::chrono::steady_clock::duration timeout,
                             const char* what)
{
    return use([&](USB_IO& io) {
        using Clock = std::chrono::steady_clock;
        Clock::time_point readStart, signalsAsked = Clock::now();
        boxes::Wait wait;
        wait.condition = condition;
        wait.timeout = timeout;
        // Asking Python about signals takes the GIL: once in a while is soon enough.
        wait.stop = [&] {
            if (Clock::now() - signalsAsked < std::chrono::milliseconds(20))
                return false;
            signalsAsked = Clock::now();
            return giveUp();
        };
        // The bus is held for each read alone: between reads it goes to whoever asked for it
        // meanwhile, and the condition (Python's, maybe) runs with the bus free.
        wait.around = [&](const std::function<boxes::State()>& read) {
            readStart = Clock::now();
            m_busLock->lock();
            boxes::State state = read();
            m_busLock->unlock();
            return state;
        };
        m_busLock->unlock();
        const boxes::WaitOutcome outcome = boxes::waitUntil(io, wait);
        if (outcome.end == boxes::WaitEnd::Unanswered)
            check(0, what, readStart);
        if (outcome.end == boxes::WaitEnd::Stopped)
            throw Failure(Fault::Interrupted, std::string("interrupted while waiting (") + what + ")");
        return outcome;
    });
}

double Box::waitFor(const std::string& line, bool high, double timeout)
{
    const boxes::Line checked = need(boxes::checkLine(line, &layout()));
    return waitFor(checked.port, checked.bit, high, timeout);
}

double Box::waitFor(char port, long long bit, bool high, double timeout)
{
    const boxes::Line line = need(boxes::checkLine(port, bit, &layout()));
    const auto time = waitTime(timeout);
    const std::string what = "wait_for " + line.name() + (high ? " high" : " low");
    const boxes::WaitOutcome outcome = wait(boxes::lineAt(line, high), time, what.c_str());
    if (outcome.end != boxes::WaitEnd::Held)
        throw Failure(Fault::Timeout, "the line " + line.name() + " of the box " + m_serial + " did not read " +
                                          (high ? "high" : "low") + " within " + secondsText(timeout));
    return seconds(outcome.waited);
}

boxes::State Box::waitUntil(const std::function<bool(const boxes::State&)>& holds, double timeout)
{
    const auto time = waitTime(timeout);
    const boxes::WaitOutcome outcome = wait({boxes::partsOf(layout()), holds}, time, "wait_until");
    if (outcome.end != boxes::WaitEnd::Held)
        throw Failure(Fault::Timeout, "the box " + m_serial + " did not reach the state waited for within " +
                                          secondsText(timeout));
    return outcome.state;
}

std::optional<boxes::State> Box::nextChange(const boxes::State& last, std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration{});
    const boxes::WaitOutcome outcome = wait(boxes::changedFrom(last), left, "watch");
    if (outcome.end != boxes::WaitEnd::Held)
        return std::nullopt;
    return outcome.state;
}

namespace {

[[noreturn]] void firmwareFailure(const std::string& reason, std::size_t line = 0)
{
    Failure failure(Fault::Firmware, firmware::updateFailedHeading() + ": " + reason);
    failure.reason = reason;
    failure.line = static_cast<int>(line);
    throw failure;
}

// Hands each accepted line to the caller's progress function, with the bus let go meanwhile
// so that it may use the bus and its other boxes. An exception it throws stops the update at
// the next step and is thrown again once the update has ended.
class ProgressSteps : public firmware::UpdateObserver {
public:
    using Free = std::function<void(const std::function<void()>&)>;
    ProgressSteps(const Box::Progress& progress, Free free, bool& inBootloader)
        : m_progress(progress), m_free(std::move(free)), m_inBootloader(inBootloader)
    {
    }
    void lineAnswered(const firmware::UpdateProgress& step) override
    {
        m_lines = static_cast<int>(step.linesSent);
        report(step.fraction());
    }
    // The bootloader took the whole image: the last call says so, as the update window's
    // full bar does.
    void phase(firmware::UpdatePhase phase) override
    {
        if (phase == firmware::UpdatePhase::AwaitReturn)
            report(1.0);
    }
    void resetSent(bool marked) override
    {
        m_silent = !marked;
        m_inBootloader = marked;
    }
    bool failed() const { return m_thrown != nullptr; }
    // The box did not answer the update's first request: it is not on the bus.
    bool boxSilent() const { return m_silent; }
    void rethrow() const
    {
        if (m_thrown)
            std::rethrow_exception(m_thrown);
    }

private:
    void report(double fraction)
    {
        if (!m_progress || m_thrown)
            return;
        try {
            m_free([&] { m_progress(fraction, m_lines); });
        } catch (...) {
            m_thrown = std::current_exception();
        }
    }

    const Box::Progress& m_progress;
    Free m_free;
    bool& m_inBootloader;
    std::exception_ptr m_thrown;
    int m_lines = 0;
    bool m_silent = false;
};

}  // namespace

void Box::flash(const std::string& file, const Progress& progress)
{
    if (const auto refused = firmware::imageNameRefusal(file))
        firmwareFailure(firmware::oneLine(*refused));
    ProgressSteps steps(progress, [this](const std::function<void()>& call) {
        m_busLock->unlock();
        try {
            call();
        } catch (...) {
            m_busLock->lock();
            throw;
        }
        m_busLock->lock();
    }, m_inBootloader);
    // A simulated box restarts at once, and a replay holds the box's restarts already (with
    // their recorded gaps when it keeps them): only real boxes are waited for.
    firmware::FirmwareUpdate update(m_view, steps, [this](std::chrono::milliseconds wait) {
        if (m_bus->restartsTakeTime())
            sleepUnless(wait, [this] { return giveUp(); });
    });
    // Before the reset a signal stops the update; once the box is in its bootloader the
    // first one only warns, and the second stops it.
    update.setStopRequest([this, &steps] { return steps.failed() || steps.boxSilent() || giveUp(); });
    if (!update.checkImage(firmware::absoluteImagePath(file)))
        firmwareFailure(firmware::oneLine(update.refusal()), update.refusedLine());
    use([&](USB_IO& io) {
        if (const auto refused = firmware::levelRefusal(m_serial, m_firmware.revision, m_firmware.level,
                                                        layout().lowestUpdatableLevel))
            firmwareFailure(*refused);
        m_bus->setUpdating(m_path);
        const firmware::UpdateResult result = [&] {
            struct Done {
                Bus& bus;
                bool& inBootloader;
                int& signals;
                ~Done()
                {
                    bus.setUpdating({});
                    // A signal that only warned is spent: it ends nothing after the update.
                    if (std::exchange(inBootloader, false) && signals == 1)
                        signals = 0;
                }
            } done{*m_bus, m_inBootloader, m_signals};
            return update.run(io);
        }();
        // The update leaves the device object disconnected; a finished box runs its new
        // firmware under the same path and is opened again.
        m_io.reset();
        if (result.outcome == firmware::UpdateOutcome::Finished) {
            steps.rethrow();
            try {
                connect();
            } catch (const Failure& reopen) {
                m_io.reset();
                throw Failure(reopen.fault, "the update finished (" + std::to_string(result.linesSent) +
                                                " lines sent), but the box cannot be used again: " + reopen.what());
            }
            return;
        }
        steps.rethrow();
        if (result.outcome == firmware::UpdateOutcome::Stopped && m_signals > 0)
            throw Failure(Fault::Interrupted, firmware::outcomeReason(result, 0, m_path));
        if (m_signals >= 2)
            throw Failure(Fault::Interrupted, firmware::outcomeReason(result, update.image()->lines.size(), m_path) +
                                                  " (" + bootloaderWarning(m_serial) + ")");
        if (steps.boxSilent())
            throw Failure(Fault::NotConnected, "the box " + m_serial + " at " + m_path +
                                                   " is not connected: it did not answer the update's first request");
        firmwareFailure(firmware::outcomeReason(result, update.image()->lines.size(), m_path),
                        result.outcome == firmware::UpdateOutcome::LineFailed ? result.linesSent : 0);
    });
}

}  // namespace iox::python
