#include "box_worker.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

#include "boxes/checks.h"
#include "boxes/identity.h"
#include "log.h"

namespace iox::mqtt {

namespace {

std::string lineName(char port, int bit) { return std::string(1, port) + std::to_string(bit); }
std::string lower(char port) { return std::string(1, static_cast<char>(port - 'A' + 'a')); }
const char* onOff(bool on) { return on ? "ON" : "OFF"; }

// Home Assistant takes [a-zA-Z0-9_-] in node and object ids.
std::string idSafe(std::string text)
{
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-')
            c = '_';
    return text;
}

}  // namespace

BoxWorker::BoxWorker(HidBackend& bus, std::string serial, Publisher& out, BoxSettings settings)
    : m_bus(bus), m_serial(std::move(serial)), m_out(out), m_settings(std::move(settings)), m_io(m_bus)
{
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
    m_io.Disconnect();
    topic("availability", "offline");
}

void BoxWorker::topic(const std::string& rest, const std::string& payload, bool retain)
{
    m_out.publish(m_settings.prefix + "/" + m_serial + "/" + rest, payload, retain);
}

std::optional<std::string> BoxWorker::submit(const Action& action)
{
    {
        std::lock_guard held(m_mutex);
        if (auto refused = check(action))
            return refused;
        constexpr std::size_t kMaxQueued = 64;
        if (m_queue.size() >= kMaxQueued)
            return "box busy: " + std::to_string(kMaxQueued) + " commands waiting";
        m_queue.push_back(action);
    }
    m_wake.notify_all();
    return std::nullopt;
}

std::optional<std::string> BoxWorker::check(const Action& action) const
{
    if (!m_online)
        return std::string("box is offline");
    const boxes::Model* model = m_layout;
    // The checks of the box's model, then whether the lines to drive are outputs now.
    const auto refusal = [](const auto& checked) { return std::optional<std::string>(checked.refusal().reason); };
    const auto driven = [&](char port) -> std::optional<std::string> {
        if (!(port == 'A' ? m_outputA : m_outputB))
            return "port " + std::string(1, port) + " is set as input";
        return std::nullopt;
    };
    if (const auto* relay = std::get_if<RelaySet>(&action)) {
        if (const auto checked = boxes::checkRelay(relay->relay, model); !checked)
            return refusal(checked);
    } else if (const auto* line = std::get_if<LineSet>(&action)) {
        if (const auto checked = boxes::checkLine(line->line.port, line->line.bit, model); !checked)
            return refusal(checked);
        return driven(line->line.port);
    } else if (const auto* port = std::get_if<PortSet>(&action)) {
        if (const auto checked = boxes::checkPort(std::string(1, port->port), model); !checked)
            return refusal(checked);
        return driven(port->port);
    } else if (const auto* direction = std::get_if<DirectionSet>(&action)) {
        if (auto refused = boxes::checkDirectionChange(direction->port, model))
            return refused->reason;
    } else if (const auto* spi = std::get_if<SpiSend>(&action)) {
        const auto lines = boxes::checkSerialLines({spi->clock, spi->data, spi->latch}, model);
        if (!lines)
            return refusal(lines);
        for (const auto& line : *lines)
            if (auto refused = driven(line.port))
                return refused;
    } else if (const auto* pulse = std::get_if<PulseSend>(&action)) {
        if (const auto checked = boxes::checkLine(pulse->line.port, pulse->line.bit, model); !checked)
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

void BoxWorker::plugged()
{
    {
        std::lock_guard held(m_mutex);
        if (m_online)
            return;
        m_plugged = true;
    }
    m_wake.notify_all();
}

std::string BoxWorker::heldPath() const
{
    std::lock_guard held(m_mutex);
    return m_online ? m_path : std::string();
}

bool BoxWorker::connectBox()
{
    if (m_io.Connect(m_serial) == 0)
        return false;
    const auto model = boxes::readModel(m_io);
    if (!model) {
        m_io.Disconnect();
        return false;
    }
    const boxes::Firmware firmware = boxes::readFirmware(m_io);
    {
        std::lock_guard held(m_mutex);
        m_model = *model;
        m_revision = firmware.revision;
        m_level = firmware.level;
        m_path = m_io.GetUSBDeviceName();
        m_layout = &boxes::modelOrAnyBox(*model);
        m_outputA = !m_layout->a.input;
        m_outputB = true;
        m_online = true;
        m_queue.clear();
    }
    logLine(m_serial + ": online (" + *model + ", " + m_path + ")");
    publishAll();
    return true;
}

void BoxWorker::publishAll()
{
    topic("availability", "online");
    publishInfo();
    publishDirection('A');
    publishDirection('B');
    publishDiscovery();
    m_relays.reset();
    m_portA.reset();
    m_portB.reset();
    poll(true);
}

void BoxWorker::publishInfo()
{
    std::unique_lock held(m_mutex);
    const nlohmann::json info = {{"serial", m_serial},
                                 {"model", m_model},
                                 {"firmware", {{"revision", m_revision}, {"level", m_level}}},
                                 {"path", m_path}};
    held.unlock();  // the broker is never called with a worker's lock held
    topic("info", info.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void BoxWorker::publishDirection(char port)
{
    std::unique_lock held(m_mutex);
    if (m_layout->port(port).lines == 0)
        return;
    const bool output = port == 'A' ? m_outputA : m_outputB;
    held.unlock();
    topic("port/" + lower(port) + "/direction", output ? "output" : "input");
}

void BoxWorker::publishDiscovery()
{
    if (!m_settings.discovery)
        return;
    std::unique_lock held(m_mutex);
    const std::string base = m_settings.prefix + "/" + m_serial;
    const std::string node = idSafe(m_settings.prefix + "_" + m_serial);
    const nlohmann::json device = {{"identifiers", {node}},
                                   {"name", m_model + " " + m_serial},
                                   {"model", m_model},
                                   {"serial_number", m_serial},
                                   {"sw_version", m_revision}};
    const nlohmann::json availability = {{{"topic", base + "/availability"}},
                                         {{"topic", m_settings.prefix + "/bridge/availability"}}};
    struct Entity {
        std::string object, name, state;
        bool output;
    };
    std::vector<Entity> entities;
    for (int n = 0; n < m_layout->relays; ++n)
        entities.push_back({"relay_" + std::to_string(n), "Relay " + std::to_string(n), "relay/" + std::to_string(n), true});
    for (const char port : {'A', 'B'})
        for (int bit = 0; bit < m_layout->port(port).lines; ++bit)
            entities.push_back({"line_" + lower(port) + std::to_string(bit), "Line " + lineName(port, bit),
                                "port/" + lower(port) + "/" + std::to_string(bit), port == 'A' ? m_outputA : m_outputB});
    held.unlock();
    for (const auto& entity : entities) {
        nlohmann::json config = {{"name", entity.name},
                                 {"unique_id", node + "_" + entity.object},
                                 {"state_topic", base + "/" + entity.state},
                                 {"payload_on", "ON"},
                                 {"payload_off", "OFF"},
                                 {"availability", availability},
                                 {"availability_mode", "all"},
                                 {"device", device}};
        if (entity.output)
            config["command_topic"] = base + "/" + entity.state + "/set";
        const std::string used = entity.output ? "switch" : "binary_sensor";
        const std::string other = entity.output ? "binary_sensor" : "switch";
        const std::string tail = "/" + node + "/" + entity.object + "/config";
        m_out.publish(m_settings.discoveryPrefix + "/" + other + tail, "", true);  // a line that changed direction
        m_out.publish(m_settings.discoveryPrefix + "/" + used + tail, config.dump(), true);
    }
}

void BoxWorker::poll(bool force)
{
    // Each value read is published when it changed; bits of a byte each on their own topic.
    const auto publishByte = [&](std::optional<std::uint8_t>& last, std::uint8_t now, int count,
                                 const std::string& bitTopic, const std::string& byteTopic) {
        if (!force && last == now)
            return;
        for (int bit = 0; bit < count; ++bit)
            if (force || !last || ((*last ^ now) >> bit & 1))
                topic(bitTopic + std::to_string(bit), onOff(now >> bit & 1));
        if (!byteTopic.empty())
            topic(byteTopic, std::to_string(now));
        last = now;
    };
    std::unique_lock held(m_mutex);
    const boxes::Model& layout = *m_layout;
    held.unlock();
    std::uint8_t value = 0;
    if (layout.relays > 0) {
        if (m_io.Read_Relays_Byte(value) == 0)
            throw std::runtime_error("relays");
        publishByte(m_relays, value, layout.relays, "relay/", "");
    }
    if (layout.a.lines > 0) {
        if (m_io.ReadByteA(value) == 0)
            throw std::runtime_error("port A");
        publishByte(m_portA, value, layout.a.lines, "port/a/", "port/a");
    }
    if (layout.b.lines > 0) {
        if (m_io.ReadByteB(value) == 0)
            throw std::runtime_error("port B");
        publishByte(m_portB, value, layout.b.lines, "port/b/", "port/b");
    }
}

bool BoxWorker::execute(const Action& action)
{
    if (const auto* relay = std::get_if<RelaySet>(&action)) {
        std::int16_t number = static_cast<std::int16_t>(relay->relay), on = relay->on;
        return m_io.Set_Relay(number, on) != 0;
    }
    if (const auto* line = std::get_if<LineSet>(&action))
        return m_io.Set_TTLBit(line->line.name(), line->on) != 0;
    if (const auto* port = std::get_if<PortSet>(&action))
        return (port->port == 'A' ? m_io.Set_ByteA(port->value) : m_io.Set_ByteB(port->value)) != 0;
    if (const auto* direction = std::get_if<DirectionSet>(&action)) {
        const bool a = direction->port == 'A';
        const std::int16_t status = direction->output ? (a ? m_io.Set_ByteA_As_Output() : m_io.Set_ByteB_As_Output())
                                                      : (a ? m_io.Set_ByteA_As_Input() : m_io.Set_ByteB_As_Input());
        if (status == 0)
            return false;
        {
            std::lock_guard held(m_mutex);
            (a ? m_outputA : m_outputB) = direction->output;
        }
        publishDirection(direction->port);
        publishDiscovery();
        return true;
    }
    if (const auto* spi = std::get_if<SpiSend>(&action)) {
        // Checked when it was queued; the lines not named are the model's.
        const auto lines = *boxes::checkSerialLines({spi->clock, spi->data, spi->latch}, m_layout);
        return m_io.SPI_OUT(lines[0].name(), lines[1].name(), lines[2].name(), spi->word) != 0;
    }
    if (const auto* pulse = std::get_if<PulseSend>(&action))
        return m_io.Set_TTLPulse(pulse->line.name(), static_cast<std::int16_t>(pulse->ms)) != 0;
    if (const auto* width = std::get_if<PulseWidthSet>(&action)) {
        std::int16_t value = static_cast<std::int16_t>(width->width);
        return m_io.Set_SPI_PulseWidth(value) != 0;
    }
    return true;
}

void BoxWorker::run()
{
    using Clock = std::chrono::steady_clock;
    auto nextPoll = Clock::now();
    for (;;) {
        std::unique_lock held(m_mutex);
        if (!m_online) {
            m_wake.wait(held, [&] { return m_stop || m_plugged; });
            if (m_stop)
                return;
            m_plugged = false;
            held.unlock();
            try {
                if (connectBox())
                    nextPoll = Clock::now() + m_settings.poll;
            } catch (const std::runtime_error& failed) {
                lost(failed.what());  // gone again during the first poll
            }
            continue;
        }
        m_wake.wait_until(held, nextPoll, [&] { return m_stop || m_republish || !m_queue.empty(); });
        if (m_stop)
            return;
        std::deque<Action> actions;
        actions.swap(m_queue);
        const bool again = std::exchange(m_republish, false);
        held.unlock();
        try {
            for (const auto& action : actions)
                if (!execute(action))
                    throw std::runtime_error("command");
            if (again)
                publishAll();
            if (Clock::now() >= nextPoll) {
                poll(false);
                nextPoll = std::max(nextPoll + m_settings.poll, Clock::now());
            }
        } catch (const std::runtime_error& failed) {
            lost(failed.what());
        }
    }
}

void BoxWorker::lost(const std::string& what)
{
    m_io.Disconnect();
    {
        std::lock_guard held(m_mutex);
        m_online = false;
        m_path.clear();
    }
    logLine(m_serial + ": offline (no answer to " + what + ")");
    topic("availability", "offline");
}

}  // namespace iox::mqtt
