#include "box_worker.h"

#include <iterator>
#include <utility>

#include "checks.h"

namespace iox::boxes {

namespace {

const char* partName(Part part)
{
    switch (part) {
    case Part::A: return "port A";
    case Part::B: return "port B";
    case Part::Relays: break;
    }
    return "relays";
}

}  // namespace

BoxWorker::BoxWorker(HidBackend& bus, std::string serial, std::string path, BoxObserver& observer,
                     WorkerSettings settings)
    : m_bus(bus),
      m_serial(std::move(serial)),
      m_observer(observer),
      m_settings(settings),
      m_pluggedPath(path),
      m_view(bus, std::move(path)),
      m_io(m_view)
{
    m_box.serial = m_serial;
    m_box.layout = &modelOrAnyBox({});
    m_io.setExchangeTimeout(m_settings.exchangeTimeout);
    m_thread = std::thread(&BoxWorker::run, this);
}

BoxWorker::~BoxWorker()
{
    {
        std::lock_guard held(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    dropQueued("box is offline");
    m_io.Disconnect();
    m_observer.offline("stopped");
}

BoxInfo BoxWorker::info() const
{
    std::lock_guard held(m_mutex);
    return m_box;
}

std::optional<CommandRefusal> BoxWorker::submit(const BoxCommand& command, CommandDone done)
{
    {
        std::lock_guard held(m_mutex);
        if (auto refused = check(command))
            return refused;
        if (m_queue.size() >= m_settings.maxQueued)
            return CommandRefusal{Refused::Unavailable,
                                  "box busy: " + std::to_string(m_settings.maxQueued) + " commands waiting"};
        m_queue.push_back({command, std::move(done), {}, {}});
    }
    m_wake.notify_all();
    return std::nullopt;
}

std::optional<CommandRefusal> BoxWorker::hold(BoxJob job, std::function<void()> done)
{
    {
        std::lock_guard held(m_mutex);
        if (!m_online || m_held)
            return CommandRefusal{Refused::Unavailable, m_held ? "box is being updated" : "box is offline"};
        m_held = true;
        m_queue.push_back({BoxCommand{}, {}, std::move(job), std::move(done)});  // the command is not used
    }
    m_wake.notify_all();
    return std::nullopt;
}

void BoxWorker::dropQueued(const std::string& why)
{
    std::deque<Queued> dropped;
    {
        std::lock_guard held(m_mutex);
        dropped.swap(m_queue);
    }
    for (const auto& queued : dropped) {
        if (queued.done)
            queued.done(CommandRefusal{Refused::Unavailable, why});
        if (queued.jobDone)
            queued.jobDone();  // its job never ran
    }
}

std::optional<CommandRefusal> BoxWorker::check(const BoxCommand& command) const
{
    if (!m_online)
        return CommandRefusal{Refused::Unavailable, "box is offline"};
    if (m_held)
        return CommandRefusal{Refused::Unavailable, "box is being updated"};
    const Model* model = m_box.layout;
    // The checks of the box's model, then whether the lines to drive are outputs now.
    const auto refusal = [](const auto& checked) {
        return std::optional(CommandRefusal{Refused::BadValue, checked.refusal().reason});
    };
    const auto driven = [&](char port) -> std::optional<CommandRefusal> {
        if (!(port == 'A' ? m_box.outputA : m_box.outputB))
            return CommandRefusal{Refused::InputPort, "port " + std::string(1, port) + " is set as input"};
        return std::nullopt;
    };
    if (const auto* relay = std::get_if<SetRelay>(&command)) {
        if (const auto checked = checkRelay(relay->relay, model); !checked)
            return refusal(checked);
    } else if (const auto* line = std::get_if<SetLine>(&command)) {
        if (const auto checked = checkLine(line->line.port, line->line.bit, model); !checked)
            return refusal(checked);
        return driven(line->line.port);
    } else if (const auto* port = std::get_if<SetPort>(&command)) {
        if (const auto checked = checkPort(std::string(1, port->port), model); !checked)
            return refusal(checked);
        return driven(port->port);
    } else if (const auto* direction = std::get_if<SetDirection>(&command)) {
        if (auto refused = checkDirectionChange(direction->port, model))
            return CommandRefusal{Refused::BadValue, refused->reason};
    } else if (const auto* word = std::get_if<SendWord>(&command)) {
        const auto lines = checkSerialLines({word->clock, word->data, word->latch}, model);
        if (!lines)
            return refusal(lines);
        for (const auto& line : *lines)
            if (auto refused = driven(line.port))
                return refused;
    } else if (const auto* pulse = std::get_if<SendPulse>(&command)) {
        if (const auto checked = checkLine(pulse->line.port, pulse->line.bit, model); !checked)
            return refusal(checked);
        return driven(pulse->line.port);
    }
    return std::nullopt;
}

void BoxWorker::republish()
{
    {
        std::lock_guard held(m_mutex);
        m_republish = true;
    }
    m_wake.notify_all();
}

void BoxWorker::plugged(const std::string& path)
{
    {
        std::lock_guard held(m_mutex);
        if (m_online)
            return;
        m_plugged = true;
        m_pluggedPath = path;
    }
    m_wake.notify_all();
}

std::string BoxWorker::heldPath() const
{
    std::lock_guard held(m_mutex);
    return m_online ? m_box.path : std::string();
}

bool BoxWorker::connectBox()
{
    if (m_io.Connect(m_serial) == 0)
        return false;
    const auto model = readModel(m_io);
    if (!model) {
        m_io.Disconnect();
        return false;
    }
    const Firmware firmware = readFirmware(m_io);
    {
        std::lock_guard held(m_mutex);
        m_box.model = *model;
        m_box.firmware = firmware;
        m_box.path = m_io.GetUSBDeviceName();
        m_box.layout = &modelOrAnyBox(*model);
        // The box cannot report its directions: they start as the model's.
        m_box.outputA = !m_box.layout->a.input;
        m_box.outputB = !m_box.layout->b.input;
        m_online = true;
        m_republish = false;
    }
    m_observer.online(info());
    return true;
}

void BoxWorker::run()
{
    for (;;) {
        {
            std::unique_lock held(m_mutex);
            m_wake.wait(held, [&] { return m_stop || m_plugged || m_republish; });
            if (m_stop)
                return;
            if (std::exchange(m_republish, false) && !m_plugged) {
                // A face that lost what it was told (its broker went away) hears it again.
                held.unlock();
                m_observer.offline("still offline");
                continue;
            }
            m_plugged = false;
            m_view.setPath(m_pluggedPath);
        }
        if (!connectBox())
            continue;
        std::optional<State> last;
        Poll poll;
        poll.parts = partsOf(*info().layout);
        poll.interval = m_settings.poll;
        poll.stop = [&] {
            std::lock_guard held(m_mutex);
            return m_stop || m_commandFailed || m_released;
        };
        poll.changed = [&](const State& now) {
            m_observer.state(info(), now, last);
            last = now;
        };
        poll.pause = [&](std::chrono::milliseconds interval) { serve(interval, last); };
        const std::optional<State> failed = boxes::poll(m_io, poll);
        if (std::exchange(m_released, false)) {
            letGo("box is offline", "updated");
            continue;
        }
        if (!failed && !m_commandFailed)
            return;  // stopped
        const std::string why = failed ? partName(*failed->failed) : "command";
        m_commandFailed = false;
        letGo("the box did not answer", "no answer to " + why);
    }
}

void BoxWorker::letGo(const std::string& queuedWhy, const std::string& offlineWhy)
{
    m_io.Disconnect();
    {
        std::lock_guard held(m_mutex);
        m_online = false;
        m_held = false;
        m_box.path.clear();
    }
    dropQueued(queuedWhy);
    m_observer.offline(offlineWhy);
}

void BoxWorker::serve(std::chrono::milliseconds interval, const std::optional<State>& last)
{
    const auto until = std::chrono::steady_clock::now() + interval;
    for (;;) {
        std::unique_lock held(m_mutex);
        m_wake.wait_until(held, until, [&] { return m_stop || m_republish || !m_queue.empty(); });
        if (m_stop)
            return;
        std::deque<Queued> commands;
        commands.swap(m_queue);
        const bool again = std::exchange(m_republish, false);
        held.unlock();
        for (std::size_t i = 0; i < commands.size(); ++i) {
            if (commands[i].job) {
                m_observer.updating(info());
                commands[i].job(m_io, m_bus);
                if (commands[i].jobDone)
                    commands[i].jobDone();
                m_released = true;
                return;
            }
            const bool answered = execute(commands[i].command);
            if (commands[i].done)
                commands[i].done(answered ? std::nullopt
                                          : std::optional(CommandRefusal{Refused::Unavailable, "the box did not answer"}));
            if (!answered) {
                // Those after it were never sent: they go with the box's other queued commands.
                std::lock_guard relock(m_mutex);
                m_queue.insert(m_queue.begin(), std::make_move_iterator(commands.begin() + static_cast<long>(i) + 1),
                               std::make_move_iterator(commands.end()));
                m_commandFailed = true;
                return;
            }
        }
        if (again) {
            const BoxInfo box = info();
            m_observer.online(box);
            if (last)
                m_observer.state(box, *last, std::nullopt);
        }
        if (std::chrono::steady_clock::now() >= until)
            return;
    }
}

bool BoxWorker::execute(const BoxCommand& command)
{
    if (const auto* relay = std::get_if<SetRelay>(&command)) {
        std::int16_t number = static_cast<std::int16_t>(relay->relay), on = relay->on;
        return m_io.Set_Relay(number, on) != 0;
    }
    if (const auto* line = std::get_if<SetLine>(&command))
        return m_io.Set_TTLBit(line->line.name(), line->on) != 0;
    if (const auto* port = std::get_if<SetPort>(&command))
        return (port->port == 'A' ? m_io.Set_ByteA(port->value) : m_io.Set_ByteB(port->value)) != 0;
    if (const auto* direction = std::get_if<SetDirection>(&command)) {
        const bool a = direction->port == 'A';
        const std::int16_t status = direction->output ? (a ? m_io.Set_ByteA_As_Output() : m_io.Set_ByteB_As_Output())
                                                      : (a ? m_io.Set_ByteA_As_Input() : m_io.Set_ByteB_As_Input());
        if (status == 0)
            return false;
        {
            std::lock_guard held(m_mutex);
            (a ? m_box.outputA : m_box.outputB) = direction->output;
        }
        m_observer.direction(info(), direction->port);
        return true;
    }
    if (const auto* word = std::get_if<SendWord>(&command)) {
        // Checked when it was queued; the lines not named are the model's.
        const auto lines = *checkSerialLines({word->clock, word->data, word->latch}, info().layout);
        return m_io.SPI_OUT(lines[0].name(), lines[1].name(), lines[2].name(), word->word) != 0;
    }
    if (const auto* pulse = std::get_if<SendPulse>(&command))
        return m_io.Set_TTLPulse(pulse->line.name(), static_cast<std::int16_t>(pulse->ms)) != 0;
    if (const auto* width = std::get_if<SetPulseWidth>(&command)) {
        std::int16_t value = static_cast<std::int16_t>(width->width);
        return m_io.Set_SPI_PulseWidth(value) != 0;
    }
    return true;
}

}  // namespace iox::boxes
