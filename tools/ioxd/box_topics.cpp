#include "box_topics.h"

#include <nlohmann/json.hpp>

#include "boxes/box_json.h"

namespace iox::mqtt {

namespace {

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

BoxTopics::BoxTopics(std::string serial, std::string name, Publisher& out, TopicSettings settings)
    : m_serial(std::move(serial)), m_name(std::move(name)), m_out(out), m_settings(std::move(settings))
{
}

void BoxTopics::topic(const std::string& rest, const std::string& payload, bool retain)
{
    m_out.publish(m_settings.prefix + "/" + m_serial + "/" + rest, payload, retain);
}

void BoxTopics::online(const boxes::BoxInfo& box)
{
    topic("availability", "online");
    boxes::BoxFacts facts;
    facts.serial = box.serial;
    facts.model = box.model;
    if (!m_name.empty())
        facts.name = m_name;
    facts.firmware = box.firmware;
    facts.path = box.path;
    topic("info", boxes::boxJson(facts).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    publishDirection(box, 'A');
    publishDirection(box, 'B');
    publishDiscovery(box);
}

void BoxTopics::offline(const std::string&)
{
    topic("availability", "offline");
}

void BoxTopics::updating(const boxes::BoxInfo&) { topic("availability", "offline"); }

void BoxTopics::direction(const boxes::BoxInfo& box, char port)
{
    publishDirection(box, port);
    publishDiscovery(box);
}

void BoxTopics::state(const boxes::BoxInfo& box, const boxes::State& now, const std::optional<boxes::State>& before)
{
    // Each byte that changed; its bits each on their own topic, only those that changed.
    const auto publishByte = [&](std::uint8_t value, std::optional<std::uint8_t> last, int count,
                                 const std::string& bitTopic, const std::string& byteTopic) {
        if (last == value)
            return;
        for (int bit = 0; bit < count; ++bit)
            if (!last || ((*last ^ value) >> bit & 1))
                topic(bitTopic + std::to_string(bit), onOff(value >> bit & 1));
        if (!byteTopic.empty())
            topic(byteTopic, std::to_string(value));
    };
    const auto was = [&](auto member) { return before ? std::optional<std::uint8_t>((*before).*member) : std::nullopt; };
    if (now.read.a)
        publishByte(now.a, was(&boxes::State::a), box.layout->a.lines, "port/a/", "port/a");
    if (now.read.b)
        publishByte(now.b, was(&boxes::State::b), box.layout->b.lines, "port/b/", "port/b");
    if (now.read.relays)
        publishByte(now.relays, was(&boxes::State::relays), box.layout->relays, "relay/", "");
}

void BoxTopics::publishDirection(const boxes::BoxInfo& box, char port)
{
    if (box.layout->port(port).lines == 0)
        return;
    topic("port/" + lower(port) + "/direction", (port == 'A' ? box.outputA : box.outputB) ? "output" : "input");
}

void BoxTopics::publishDiscovery(const boxes::BoxInfo& box)
{
    if (!m_settings.discovery)
        return;
    const std::string base = m_settings.prefix + "/" + m_serial;
    const std::string node = idSafe(m_settings.prefix + "_" + m_serial);
    const nlohmann::json device = {{"identifiers", {node}},
                                   {"name", m_name.empty() ? box.model + " " + m_serial : m_name},
                                   {"model", box.model},
                                   {"serial_number", m_serial},
                                   {"sw_version", box.firmware.revision}};
    const nlohmann::json availability = {{{"topic", base + "/availability"}},
                                         {{"topic", m_settings.prefix + "/bridge/availability"}}};
    struct Entity {
        std::string object, name, state;
        bool output;
    };
    std::vector<Entity> entities;
    for (int n = 0; n < box.layout->relays; ++n)
        entities.push_back({"relay_" + std::to_string(n), "Relay " + std::to_string(n), "relay/" + std::to_string(n), true});
    for (const char port : {'A', 'B'})
        for (int bit = 0; bit < box.layout->port(port).lines; ++bit)
            entities.push_back({"line_" + lower(port) + std::to_string(bit), "Line " + boxes::Line{port, bit}.name(),
                                "port/" + lower(port) + "/" + std::to_string(bit), port == 'A' ? box.outputA : box.outputB});
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

}  // namespace iox::mqtt
