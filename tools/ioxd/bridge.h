#pragma once
// The MQTT face: one client at the broker for every served box, whose topics each box's
// BoxTopics tell; the library's network thread delivers commands, which are checked and
// queued without waiting for a box.
// One bridge serves a prefix: at each connection it reads what is announced there (retained)
// and marks offline every box it does not hold; a live bridge of another host on the prefix
// keeps it from starting.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "box_topics.h"
#include "boxes/served_boxes.h"
#include "command.h"
#include "options.h"

struct mosquitto;
struct mosquitto_message;

namespace iox::mqtt {

using ioxd::Exit;
using ioxd::Options;
using ioxd::StartResult;

class Bridge : public Publisher, public boxes::BoxFace {
public:
    Bridge(Options options, boxes::ServedBoxes& boxes);
    ~Bridge() override;  // stop()
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // Connects to the broker, waits for its answer and reads what is announced under the
    // prefix: refused when another bridge serves it. Nothing is published yet.
    StartResult start();
    // Once the boxes on the bus are held: marks offline every box announced that is not
    // held, and announces the bridge.
    void serve();
    // Every box (the served boxes stop) and the bridge published offline, then a clean disconnect.
    void stop();

    std::unique_ptr<boxes::BoxObserver> observe(const std::string& serial) override;

    void publish(const std::string& topic, const std::string& payload, bool retain) override;

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onPublish(mosquitto*, void* self, int mid);
    static void onLog(mosquitto*, void* self, int level, const char* text);
    void connected(int rc);
    void disconnected(int rc);
    void message(const std::string& topic, const std::string& payload, bool retained);
    bool announcement(const std::string& topic, const std::string& payload, bool retained);
    std::optional<std::string> otherBridge() const;  // who else serves the prefix; m_mutex held
    void markStaleBoxesOffline();                    // m_mutex held
    void announceBridge();
    void refuse(const std::string& serial, const std::string& topic, const std::string& payload,
                const std::string& reason);
    TopicSettings topicSettings() const;
    std::string where() const;

    const Options m_options;
    boxes::ServedBoxes& m_boxes;
    mosquitto* m_client = nullptr;

    std::mutex m_mutex;  // everything below
    std::condition_variable m_changed;
    std::optional<int> m_connack;  // answer to the first connection
    bool m_tlsFailed = false;      // the library reported a TLS error
    bool m_stopping = false;
    std::atomic<bool> m_started{false};    // connected, and stop() has to disconnect
    std::atomic<bool> m_serving{false};    // serve() was called: the boxes are the bridge's
    std::atomic<bool> m_connected{false};  // to the broker, now

    // What the broker had retained under the prefix when this connection was made; complete
    // once the probe this bridge sent itself comes back.
    const std::string m_probe;
    bool m_probed = false;
    std::map<std::string, std::string> m_announced;  // serial -> availability
    std::string m_bridgeInfo;                        // <prefix>/bridge/info, JSON

    // Connections the broker drops right after making them (a client id used twice) back off.
    std::chrono::steady_clock::time_point m_connectedAt;
    int m_quickDrops = 0;

    std::atomic<bool> m_draining{false};  // stopping: offline messages are being published
    std::mutex m_ackMutex;
    std::condition_variable m_acked;
    std::set<int> m_unacked;  // offline messages the broker has not acknowledged yet
};

}  // namespace iox::mqtt
