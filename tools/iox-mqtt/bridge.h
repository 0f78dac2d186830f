#pragma once
// The bridge: one client at the broker for every box. A discovery thread finds boxes on
// the bus (at start and plugged in later) and gives each a BoxWorker; the library's
// network thread delivers commands, which are checked and queued without waiting for a box.
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
#include "command.h"
#include "options.h"

struct mosquitto;
struct mosquitto_message;

namespace iox::mqtt {

struct StartResult {
    Exit code = Exit::Ok;
    std::string message;  // one line naming the cause, when code is not Ok
};

// One box served: its topics, and the worker that tells them (which ends first).
struct ServedBox {
    ServedBox(HidBackend& bus, const std::string& serial, Publisher& out, TopicSettings topicSettings,
              boxes::WorkerSettings workerSettings)
        : topics(serial, out, std::move(topicSettings)), worker(bus, serial, topics, workerSettings)
    {
    }
    BoxTopics topics;
    boxes::BoxWorker worker;
};

class Bridge : public Publisher {
public:
    Bridge(Options options, HidBackend& bus);
    ~Bridge() override;  // stop()
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // Connects to the broker and waits for its answer; then serves the boxes.
    StartResult start();
    // Every box and the bridge published offline, then a clean disconnect.
    void stop();

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
    void discoveryLoop();
    void discover();
    TopicSettings topicSettings() const;
    std::string where() const;

    const Options m_options;
    HidBackend& m_bus;
    mosquitto* m_client = nullptr;
    std::set<std::string> m_ignored;  // paths of boxes --sn leaves out; discovery thread only

    std::mutex m_mutex;  // everything below
    std::condition_variable m_changed;
    std::optional<int> m_connack;  // answer to the first connection
    bool m_tlsFailed = false;      // the library reported a TLS error
    bool m_stopping = false;
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_connected{false};  // to the broker, now
    std::map<std::string, std::unique_ptr<ServedBox>> m_workers;
    std::thread m_discovery;

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
