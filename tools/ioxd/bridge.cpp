#include "bridge.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>

#include <unistd.h>

#include <mosquitto.h>
#include <nlohmann/json.hpp>

#include "boxes/identity.h"
#include "device/commands.h"
#include "log.h"
#include "tls_diagnosis.h"

namespace iox::mqtt {

using ioxd::logLine;

namespace {

constexpr auto kBrokerAnswer = std::chrono::seconds(5);
constexpr int kKeepAlive = 30;
constexpr auto kQuickDrop = std::chrono::seconds(5);  // a connection dropped sooner was not let stay
constexpr int kMaxRetryDelay = 30;                     // seconds

std::string errorText(int rc)
{
    return rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
}

std::string thisHost()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

std::string commandOf(const std::string& process)
{
    std::ifstream in("/proc/" + process + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// A token no other bridge sends: this host, this process, this bridge.
std::string probeToken()
{
    static std::atomic<int> bridges{0};
    return thisHost() + "/" + std::to_string(::getpid()) + "/" + std::to_string(bridges++);
}

}  // namespace

Bridge::Bridge(Options options, boxes::ServedBoxes& boxes)
    : m_options(std::move(options)), m_boxes(boxes), m_probe(probeToken())
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

std::string Bridge::where() const
{
    const bool v6 = m_options.host.find(':') != std::string::npos;
    return (v6 ? "[" + m_options.host + "]" : m_options.host) + ":" + std::to_string(m_options.port);
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
    mosquitto_reconnect_delay_set(m_client, 1, kMaxRetryDelay, true);
    mosquitto_connect_callback_set(m_client, &Bridge::onConnect);
    mosquitto_disconnect_callback_set(m_client, &Bridge::onDisconnect);
    mosquitto_message_callback_set(m_client, &Bridge::onMessage);
    mosquitto_publish_callback_set(m_client, &Bridge::onPublish);
    mosquitto_log_callback_set(m_client, &Bridge::onLog);

    const std::string where = this->where();
    const TlsFiles tls{m_options.tlsCa, m_options.tlsCert, m_options.tlsKey};
    const int rc = mosquitto_connect(m_client, m_options.host.c_str(), m_options.port, kKeepAlive);
    if (rc == MOSQ_ERR_TLS)
        return {Exit::Tls, "TLS handshake with " + where + " failed: " + tlsFailure(m_options.host, m_options.port, tls)};
    if (rc != MOSQ_ERR_SUCCESS)
        return {Exit::Unreachable, "cannot reach the broker at " + where + ": " + errorText(rc)};
    mosquitto_loop_start(m_client);

    std::unique_lock held(m_mutex);
    m_changed.wait_for(held, kBrokerAnswer, [&] { return m_connack.has_value() || m_tlsFailed; });
    const std::optional<int> answer = m_tlsFailed && !m_connack ? std::optional(-MOSQ_ERR_TLS) : m_connack;
    if (answer == 0)
        m_changed.wait_for(held, kBrokerAnswer, [&] { return m_probed; });
    const std::optional<std::string> other = answer == 0 ? otherBridge() : std::nullopt;
    held.unlock();
    if (answer == 0 && !other) {
        m_started = true;
        logLine("connected to " + where);
        return {};
    }
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, true);
    if (other)
        return {Exit::Failure, "another bridge serves the prefix \"" + m_options.prefix + "\" (" + *other +
                                   "); one bridge per prefix: stop it, or give this one another --prefix"};
    if (answer == 4 || answer == 5)
        return {Exit::Credentials, "the broker at " + where + " refused the credentials: " +
                                       mosquitto_connack_string(*answer)};
    if (answer == -MOSQ_ERR_TLS)
        return {Exit::Tls, "TLS handshake with " + where + " failed: " + tlsFailure(m_options.host, m_options.port, tls)};
    if (answer > 0)
        return {Exit::Unreachable, "the broker at " + where + " refused the connection: " +
                                       mosquitto_connack_string(*answer)};
    if (m_options.tlsCa.empty() && speaksTls(m_options.host, m_options.port))
        return {Exit::Tls, "the broker at " + where + " speaks TLS on this port: connect with --tls-ca"};
    return {Exit::Unreachable, answer ? "the broker at " + where + " closed the connection without answering"
                                      : "no answer from the broker at " + where};
}

std::optional<std::string> Bridge::otherBridge() const
{
    if (m_announced.count("bridge") == 0 || m_announced.at("bridge") != "online")
        return std::nullopt;
    const auto info = nlohmann::json::parse(m_bridgeInfo, nullptr, false);
    if (!info.is_object())
        return std::nullopt;  // a bridge that told nothing of itself: taken over
    const auto field = [&](const char* key) {
        const auto it = info.find(key);
        return it == info.end() ? std::string() : it->is_string() ? it->get<std::string>() : it->dump();
    };
    const std::string host = field("host"), pid = field("pid");
    if (host != thisHost())
        return "on host " + host;
    // The same host: a bridge that crashed or was killed is taken over at once.
    if (pid != std::to_string(::getpid()) && commandOf(pid) == commandOf("self"))
        return "process " + pid + " on this host";
    return std::nullopt;
}

void Bridge::announceBridge()
{
    const nlohmann::json info = {{"host", thisHost()}, {"pid", ::getpid()}};
    publish(m_options.prefix + "/bridge/info", info.dump(), true);
    publish(m_options.prefix + "/bridge/availability", "online", true);
}

void Bridge::serve()
{
    {
        std::lock_guard held(m_mutex);
        markStaleBoxesOffline();
        m_serving = true;
    }
    announceBridge();
}

std::unique_ptr<boxes::BoxObserver> Bridge::observe(const std::string& serial)
{
    const auto name = m_options.names.find(serial);
    return std::make_unique<BoxTopics>(serial, name == m_options.names.end() ? "" : name->second, *this,
                                       topicSettings());
}

void Bridge::markStaleBoxesOffline()
{
    for (const auto& [serial, availability] : m_announced)
        if (serial != "bridge" && availability != "offline" && !m_boxes.holds(serial)) {
            logLine(serial + ": announced " + availability + " but not here; marked offline");
            publish(m_options.prefix + "/" + serial + "/availability", "offline", true);
        }
    m_announced.clear();
}

void Bridge::stop()
{
    std::unique_lock held(m_mutex);
    if (!m_started || m_stopping)
        return;
    m_stopping = true;
    m_changed.notify_all();
    held.unlock();
    // Each worker publishes its box offline as it ends; then the bridge itself.
    m_draining = true;
    m_boxes.stop();
    publish(m_options.prefix + "/bridge/availability", "offline", true);
    std::unique_lock acks(m_ackMutex);
    m_acked.wait_for(acks, std::chrono::seconds(2), [&] { return m_unacked.empty(); });
    acks.unlock();
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, false);
}

void Bridge::publish(const std::string& topic, const std::string& payload, bool retain)
{
    // While stopping, the ids of the offline messages are kept until the broker has them.
    // Nothing is queued while the broker is away: every state goes out again on reconnection.
    if (!m_connected)
        return;
    const bool draining = m_draining;
    std::unique_lock held(m_ackMutex, std::defer_lock);
    if (draining)
        held.lock();
    int mid = 0;
    const int rc = mosquitto_publish(m_client, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), 1, retain);
    if (rc == MOSQ_ERR_SUCCESS && draining)
        m_unacked.insert(mid);
}

void Bridge::onConnect(mosquitto*, void* self, int rc) { static_cast<Bridge*>(self)->connected(rc); }

void Bridge::onDisconnect(mosquitto*, void* self, int rc) { static_cast<Bridge*>(self)->disconnected(rc); }

void Bridge::disconnected(int rc)
{
    m_connected = false;
    std::lock_guard held(m_mutex);
    if (!m_connack)
        m_connack = rc == MOSQ_ERR_TLS ? -MOSQ_ERR_TLS : -1;
    m_changed.notify_all();
    if (!m_serving || m_stopping)
        return;
    // The library's own back-off starts again after every connection that was made, so a
    // broker that takes each connection and drops it at once would be hammered every second.
    m_quickDrops = std::chrono::steady_clock::now() - m_connectedAt < kQuickDrop ? m_quickDrops + 1 : 0;
    const int delay = std::min(kMaxRetryDelay, 1 << std::min(m_quickDrops, 5));
    mosquitto_reconnect_delay_set(m_client, static_cast<unsigned>(delay), kMaxRetryDelay, true);
    if (m_quickDrops >= 2)
        logLine("broker connection lost (" + errorText(rc) + ") right after it was made, " +
                std::to_string(m_quickDrops) + " times in a row: another client may be using the same client id" +
                (m_options.clientId.empty() ? "" : " (\"" + m_options.clientId + "\")") + "; reconnecting in " +
                std::to_string(delay) + " s");
    else
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
        if (m_serving)  // at start, start() names the cause
            logLine(std::string("broker refused the connection: ") + mosquitto_connack_string(rc));
        std::lock_guard held(m_mutex);
        if (!m_connack)
            m_connack = rc;
        m_changed.notify_all();
        return;
    }
    {
        std::lock_guard held(m_mutex);
        m_probed = false;
        m_announced.clear();
        m_bridgeInfo.clear();
        m_connectedAt = std::chrono::steady_clock::now();
    }
    // A clean session: subscribe again. Every /set topic with up to a few levels more than any
    // command has is taken, so that a mistyped one is answered rather than lost.
    std::vector<std::string> topics;
    for (std::string levels = "/+"; levels.size() <= 14; levels += "/+")
        topics.push_back(m_options.prefix + levels + "/set/#");
    for (const char* announced : {"/+/availability", "/bridge/info", "/bridge/probe"})
        topics.push_back(m_options.prefix + announced);
    for (const auto& topic : topics)
        mosquitto_subscribe(m_client, nullptr, topic.c_str(), 1);
    m_connected = true;
    // The retained announcements come before this, which is queued behind them.
    publish(m_options.prefix + "/bridge/probe", m_probe, false);
    std::lock_guard held(m_mutex);
    if (!m_connack)
        m_connack = rc;
    m_changed.notify_all();
    if (m_serving) {
        logLine("reconnected to " + where());
        announceBridge();
        m_boxes.republish();
    }
}

bool Bridge::announcement(const std::string& topic, const std::string& payload, bool retained)
{
    const std::string base = m_options.prefix + "/";
    if (!topic.starts_with(base))
        return false;
    const std::string rest = topic.substr(base.size());
    const auto slash = rest.find('/');
    if (slash == std::string::npos || rest.find('/', slash + 1) != std::string::npos)
        return false;
    const std::string first = rest.substr(0, slash), last = rest.substr(slash + 1);
    if (first == "bridge" && last == "probe") {
        if (payload == m_probe) {
            std::lock_guard held(m_mutex);
            m_probed = true;
            m_changed.notify_all();
            if (m_serving)
                markStaleBoxesOffline();
        }
        return true;
    }
    if (last != "availability" && !(first == "bridge" && last == "info"))
        return false;
    // Live messages are this bridge's own, or news; only what was kept on the broker counts.
    std::lock_guard held(m_mutex);
    if (retained && !m_probed) {
        if (last == "info")
            m_bridgeInfo = payload;
        else
            m_announced[first] = payload;
    }
    return true;
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
    if (announcement(topic, payload, retained))
        return;
    Command command = parseCommand(m_options.prefix, topic, payload);
    if (retained)
        return refuse(command.serial, topic, payload, "retained command ignored");
    if (!command.action)
        return refuse(command.serial, topic, payload, command.reason);
    if (m_options.readOnly)
        return refuse(command.serial, topic, payload, "the bridge is read-only");
    std::optional<std::string> refused;
    if (auto refusal = m_boxes.submit(command.serial, *command.action))
        refused = refusal->reason;
    if (refused)
        refuse(command.serial, topic, payload, *refused);
}

}  // namespace iox::mqtt
