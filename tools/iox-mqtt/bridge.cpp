#include "bridge.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include <mosquitto.h>
#include <nlohmann/json.hpp>

#include "boxes/identity.h"
#include "device/commands.h"
#include "log.h"

namespace iox::mqtt {

namespace {

constexpr auto kDiscoveryPeriod = std::chrono::milliseconds(200);
constexpr auto kProbeTimeout = std::chrono::milliseconds(200);
constexpr auto kBrokerAnswer = std::chrono::seconds(5);
constexpr int kKeepAlive = 30;

std::string errorText(int rc)
{
    return rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
}

}  // namespace

Bridge::Bridge(Options options, HidBackend& bus) : m_options(std::move(options)), m_bus(bus)
{
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
}

Bridge::~Bridge()
{
    stop();
    if (m_client)
        mosquitto_destroy(m_client);
}

TopicSettings Bridge::topicSettings() const
{
    return {m_options.prefix, m_options.discoveryPrefix, m_options.discovery};
}

StartResult Bridge::start()
{
    m_client = mosquitto_new(m_options.clientId.empty() ? nullptr : m_options.clientId.c_str(), true, this);
    if (!m_client)
        return {Exit::Failure, "cannot create an MQTT client"};
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!m_options.username.empty())
        mosquitto_username_pw_set(m_client, m_options.username.c_str(),
                                  m_options.password.empty() ? nullptr : m_options.password.c_str());
    if (!m_options.tlsCa.empty()) {
        const int rc = mosquitto_tls_set(m_client, m_options.tlsCa.c_str(), nullptr,
                                         m_options.tlsCert.empty() ? nullptr : m_options.tlsCert.c_str(),
                                         m_options.tlsKey.empty() ? nullptr : m_options.tlsKey.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return {Exit::Tls, "TLS setup failed: " + errorText(rc)};
    }
    const std::string bridgeTopic = m_options.prefix + "/bridge/availability";
    mosquitto_will_set(m_client, bridgeTopic.c_str(), 7, "offline", 1, true);
    mosquitto_reconnect_delay_set(m_client, 1, 30, true);
    mosquitto_connect_callback_set(m_client, &Bridge::onConnect);
    mosquitto_disconnect_callback_set(m_client, &Bridge::onDisconnect);
    mosquitto_message_callback_set(m_client, &Bridge::onMessage);
    mosquitto_publish_callback_set(m_client, &Bridge::onPublish);
    mosquitto_log_callback_set(m_client, &Bridge::onLog);

    const std::string where = m_options.host + ":" + std::to_string(m_options.port);
    const int rc = mosquitto_connect(m_client, m_options.host.c_str(), m_options.port, kKeepAlive);
    if (rc == MOSQ_ERR_TLS)
        return {Exit::Tls, "TLS handshake with " + where + " failed"};
    if (rc != MOSQ_ERR_SUCCESS)
        return {Exit::Unreachable, "cannot reach the broker at " + where + ": " + errorText(rc)};
    mosquitto_loop_start(m_client);

    std::unique_lock held(m_mutex);
    m_changed.wait_for(held, kBrokerAnswer, [&] { return m_connack.has_value() || m_tlsFailed; });
    const std::optional<int> answer = m_tlsFailed && !m_connack ? std::optional(-MOSQ_ERR_TLS) : m_connack;
    held.unlock();
    if (answer == 0) {
        m_started = true;
        m_discovery = std::thread(&Bridge::discoveryLoop, this);
        logLine("connected to " + where);
        return {};
    }
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, true);
    if (answer == 4 || answer == 5)
        return {Exit::Credentials, "the broker at " + where + " refused the credentials: " +
                                       mosquitto_connack_string(*answer)};
    if (answer == -MOSQ_ERR_TLS)
        return {Exit::Tls, "TLS handshake with " + where + " failed"};
    if (answer)
        return {Exit::Unreachable, "the broker at " + where + " refused the connection: " +
                                       mosquitto_connack_string(*answer)};
    return {Exit::Unreachable, "no answer from the broker at " + where};
}

void Bridge::stop()
{
    std::unique_lock held(m_mutex);
    if (!m_started || m_stopping)
        return;
    m_stopping = true;
    m_changed.notify_all();
    held.unlock();
    m_discovery.join();
    // Each worker publishes its box offline as it goes; then the bridge itself.
    std::map<std::string, std::unique_ptr<ServedBox>> workers;
    held.lock();
    workers.swap(m_workers);
    held.unlock();
    m_draining = true;
    workers.clear();
    publish(m_options.prefix + "/bridge/availability", "offline", true);
    std::unique_lock acks(m_ackMutex);
    m_acked.wait_for(acks, std::chrono::seconds(2), [&] { return m_unacked.empty(); });
    acks.unlock();
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, false);
    logLine("stopped");
}

void Bridge::publish(const std::string& topic, const std::string& payload, bool retain)
{
    // While stopping, the ids of the offline messages are kept until the broker has them.
    // Nothing is queued while the broker is away: every state goes out again on reconnection.
    if (!m_connected)
        return;
    std::unique_lock held(m_ackMutex, std::defer_lock);
    if (m_draining)
        held.lock();
    int mid = 0;
    const int rc = mosquitto_publish(m_client, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), 1, retain);
    if (rc == MOSQ_ERR_SUCCESS && m_draining)
        m_unacked.insert(mid);
}

void Bridge::onConnect(mosquitto*, void* self, int rc) { static_cast<Bridge*>(self)->connected(rc); }

void Bridge::onDisconnect(mosquitto*, void* self, int rc)
{
    auto* bridge = static_cast<Bridge*>(self);
    bridge->m_connected = false;
    std::lock_guard held(bridge->m_mutex);
    if (!bridge->m_connack)
        bridge->m_connack = rc == MOSQ_ERR_TLS ? -MOSQ_ERR_TLS : -1;
    bridge->m_changed.notify_all();
    if (bridge->m_started && !bridge->m_stopping)
        logLine("broker connection lost (" + errorText(rc) + "); reconnecting");
}

void Bridge::onLog(mosquitto*, void* self, int level, const char* text)
{
    // A handshake that fails after the connect call returned is only told in the library's log.
    if (!(level & MOSQ_LOG_ERR) || !std::strstr(text, "SSL"))
        return;
    auto* bridge = static_cast<Bridge*>(self);
    std::lock_guard held(bridge->m_mutex);
    bridge->m_tlsFailed = true;
    bridge->m_changed.notify_all();
}

void Bridge::onPublish(mosquitto*, void* self, int mid)
{
    auto* bridge = static_cast<Bridge*>(self);
    std::lock_guard held(bridge->m_ackMutex);
    if (bridge->m_unacked.erase(mid))
        bridge->m_acked.notify_all();
}

void Bridge::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    const std::string payload(static_cast<const char*>(message->payload), static_cast<std::size_t>(message->payloadlen));
    static_cast<Bridge*>(self)->message(message->topic, payload, message->retain);
}

void Bridge::connected(int rc)
{
    if (rc != 0) {
        if (m_started)  // at start, start() names the cause
            logLine(std::string("broker refused the connection: ") + mosquitto_connack_string(rc));
    } else {
        // A clean session: subscribe again, then everything retained is published anew.
        for (const char* pattern : {"/+/+/set", "/+/+/+/set", "/+/+/+/+/set"}) {
            const std::string topic = m_options.prefix + pattern;
            mosquitto_subscribe(m_client, nullptr, topic.c_str(), 1);
        }
        m_connected = true;
        publish(m_options.prefix + "/bridge/availability", "online", true);
    }
    std::lock_guard held(m_mutex);
    if (!m_connack)
        m_connack = rc;
    m_changed.notify_all();
    if (rc == 0)
        for (auto& [serial, worker] : m_workers)
            worker->worker.republish();
}

void Bridge::refuse(const std::string& serial, const std::string& topic, const std::string& payload,
                    const std::string& reason)
{
    const std::string shown = payload.size() > 200 ? payload.substr(0, 200) + "..." : payload;
    logLine("refused " + topic + " " + nlohmann::json(shown).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
            ": " + reason);
    if (serial.empty())
        return;
    const nlohmann::json error = {{"topic", topic}, {"payload", shown}, {"reason", reason}};
    publish(m_options.prefix + "/" + serial + "/error",
            error.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), false);
}

void Bridge::message(const std::string& topic, const std::string& payload, bool retained)
{
    Command command = parseCommand(m_options.prefix, topic, payload);
    if (retained)
        return refuse(command.serial, topic, payload, "retained command ignored");
    if (!command.action)
        return refuse(command.serial, topic, payload, command.reason);
    if (m_options.readOnly)
        return refuse(command.serial, topic, payload, "the bridge is read-only");
    std::optional<std::string> refused;
    {
        std::lock_guard held(m_mutex);
        const auto it = m_workers.find(command.serial);
        if (it == m_workers.end())
            refused = "no box with serial number " + command.serial;
        else
            refused = it->second->worker.submit(*command.action);
    }
    if (refused)
        refuse(command.serial, topic, payload, *refused);
}

void Bridge::discover()
{
    std::set<std::string> held;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [serial, worker] : m_workers)
            if (const std::string path = worker->worker.heldPath(); !path.empty())
                held.insert(path);
    }
    const auto listed = m_bus.enumerate();
    // A box that --sn leaves out is asked once while it stays on the bus, not every round.
    std::erase_if(m_ignored, [&](const std::string& path) {
        return std::none_of(listed.begin(), listed.end(), [&](const HidInterface& hid) { return hid.path == path; });
    });
    for (const auto& hid : listed) {
        if (hid.vendorId != kBoxVendorId || hid.productId != kBoxProductId || held.count(hid.path) ||
            m_ignored.count(hid.path))
            continue;
        // The serial-number request alone, on a handle of its own.
        const boxes::Identity box = boxes::identify(m_bus, hid.path, boxes::Ask::Serial, kProbeTimeout);
        const std::string& serial = box.serial;
        if (serial.empty())
            continue;
        const auto& wanted = m_options.serials;
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), serial) == wanted.end()) {
            m_ignored.insert(hid.path);
            continue;
        }
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        auto& worker = m_workers[serial];
        if (worker)
            worker->worker.plugged();
        else
            worker = std::make_unique<ServedBox>(m_bus, serial, *this, topicSettings(),
                                                 boxes::WorkerSettings{std::chrono::milliseconds(m_options.pollMs)});
    }
}

void Bridge::discoveryLoop()
{
    std::unique_lock held(m_mutex);
    while (!m_stopping) {
        held.unlock();
        discover();
        held.lock();
        m_changed.wait_for(held, kDiscoveryPeriod, [&] { return m_stopping; });
    }
}

}  // namespace iox::mqtt
