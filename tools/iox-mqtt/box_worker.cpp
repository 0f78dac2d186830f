#include "box_worker.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

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

Layout layoutOf(const std::string& model)
{
    if (model == "IOX-MODEL-A")
        return {0, 8, 0, false, true, false};
    if (model == "IOX-MODEL-B")
        return {2, 0, 4, true, true, false};
    if (model == "IOX-MODEL-D")
        return {8, 8, 8, true, false, true};
    return {};  // IOX-MODEL-C, and any other box: everything it might have
}

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

std::array<std::string, 3> BoxWorker::spiLines(const SpiSend& spi) const
{
    // Lines not named: the three that the panels preselect for the model.
    const char port = m_layout.linesB == 0 ? 'A' : 'B';
    const auto pick = [&](const std::string& name, int bit) { return name.empty() ? lineName(port, bit) : name; };
    return {pick(spi.clock, 0), pick(spi.data, 1), pick(spi.latch, 2)};
}

std::optional<std::string> BoxWorker::check(const Action& action) const
{
    if (!m_online)
        return std::string("box is offline");
    const auto lines = [&](char port) { return port == 'A' ? m_layout.linesA : m_layout.linesB; };
    const auto output = [&](char port) { return port == 'A' ? m_outputA : m_outputB; };
    const auto lineRefusal = [&](char port, int bit) -> std::optional<std::string> {
        if (bit >= lines(port))
            return "no line " + lineName(port, bit) + " on " + m_model;
        if (!output(port))
            return "port " + std::string(1, port) + " is set as input";
        return std::nullopt;
    };
    if (const auto* relay = std::get_if<RelaySet>(&action)) {
        if (relay->relay >= m_layout.relays)
            return "no relay " + std::to_string(relay->relay) + " on " + m_model;
    } else if (const auto* line = std::get_if<LineSet>(&action)) {
        return lineRefusal(line->port, line->bit);
    } else if (const auto* port = std::get_if<PortSet>(&action)) {
        if (lines(port->port) == 0)
            return "no port " + std::string(1, port->port) + " on " + m_model;
        if (!output(port->port))
            return "port " + std::string(1, port->port) + " is set as input";
    } else if (const auto* direction = std::get_if<DirectionSet>(&action)) {
        const char p = direction->port;
        if (lines(p) == 0)
            return "no port " + std::string(1, p) + " on " + m_model;
        if (p == 'A' ? m_layout.fixedA : m_layout.fixedB)
            return "the direction of port " + std::string(1, p) + " is fixed on " + m_model;
    } else if (const auto* spi = std::get_if<SpiSend>(&action)) {
        for (const auto& name : spiLines(*spi))
            if (const auto line = parseLine(name); auto refused = lineRefusal(line->first, line->second))
                return refused;
    } else if (const auto* pulse = std::get_if<PulseSend>(&action)) {
        return lineRefusal(pulse->port, pulse->bit);
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
    std::string model;
    std::uint8_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    std::string revision;
    if (m_io.Read_ModelName(model) == 0) {
        m_io.Disconnect();
        return false;
    }
    const int level = m_io.GetExtFirmware(a0, a1, a2, a3, revision);
    {
        std::lock_guard held(m_mutex);
        m_model = model;
        m_revision = revision.substr(0, revision.find('\0'));
        m_level = level;
        m_path = m_io.GetUSBDeviceName();
        m_layout = layoutOf(model);
        m_outputA = !m_layout.inputA;
        m_outputB = true;
        m_online = true;
        m_queue.clear();
    }
    logLine(m_serial + ": online (" + model + ", " + m_path + ")");
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
    if ((port == 'A' ? m_layout.linesA : m_layout.linesB) == 0)
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
    for (int n = 0; n < m_layout.relays; ++n)
        entities.push_back({"relay_" + std::to_string(n), "Relay " + std::to_string(n), "relay/" + std::to_string(n), true});
    for (const char port : {'A', 'B'})
        for (int bit = 0; bit < (port == 'A' ? m_layout.linesA : m_layout.linesB); ++bit)
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
    const Layout layout = m_layout;
    held.unlock();
    std::uint8_t value = 0;
    if (layout.relays > 0) {
        if (m_io.Read_Relays_Byte(value) == 0)
            throw std::runtime_error("relays");
        publishByte(m_relays, value, layout.relays, "relay/", "");
    }
    if (layout.linesA > 0) {
        if (m_io.ReadByteA(value) == 0)
            throw std::runtime_error("port A");
        publishByte(m_portA, value, layout.linesA, "port/a/", "port/a");
    }
    if (layout.linesB > 0) {
        if (m_io.ReadByteB(value) == 0)
            throw std::runtime_error("port B");
        publishByte(m_portB, value, layout.linesB, "port/b/", "port/b");
    }
}

bool BoxWorker::execute(const Action& action)
{
    if (const auto* relay = std::get_if<RelaySet>(&action)) {
        std::int16_t number = static_cast<std::int16_t>(relay->relay), on = relay->on;
        return m_io.Set_Relay(number, on) != 0;
    }
    if (const auto* line = std::get_if<LineSet>(&action))
        return m_io.Set_TTLBit(lineName(line->port, line->bit), line->on) != 0;
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
        const auto lines = spiLines(*spi);
        return m_io.SPI_OUT(lines[0], lines[1], lines[2], spi->word) != 0;
    }
    if (const auto* pulse = std::get_if<PulseSend>(&action))
        return m_io.Set_TTLPulse(lineName(pulse->port, pulse->bit), static_cast<std::int16_t>(pulse->ms)) != 0;
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
