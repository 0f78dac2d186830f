#pragma once
// One box on the broker: its own thread owns the box's USB_IO, polls relays and ports,
// publishes what changed and runs the commands queued for it. Nothing here writes to the
// box unless a command asks for it.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "boxes/models.h"
#include "command.h"
#include "device/hid_backend.h"
#include "device/usb_io.h"

namespace iox::mqtt {

class Publisher {
public:
    virtual ~Publisher() = default;
    // Never blocks on the broker; a message that cannot go out now is dropped (the state
    // is published again after the next connection).
    virtual void publish(const std::string& topic, const std::string& payload, bool retain) = 0;
};

struct BoxSettings {
    std::string prefix = "iox";
    std::string discoveryPrefix = "homeassistant";
    bool discovery = true;
    std::chrono::milliseconds poll{5};
    // Longest wait for one answer; a box that does not answer in time counts as gone.
    std::chrono::milliseconds exchangeTimeout{300};
};

class BoxWorker {
public:
    BoxWorker(HidBackend& bus, std::string serial, Publisher& out, BoxSettings settings);
    ~BoxWorker();  // publishes offline and ends the thread
    BoxWorker(const BoxWorker&) = delete;
    BoxWorker& operator=(const BoxWorker&) = delete;

    const std::string& serial() const { return m_serial; }
    // Checks the command against the box's model and directions and queues it; returns
    // the reason when refused. Never waits for the box.
    std::optional<std::string> submit(const Action& action);
    // Publish availability, info and every state again (after a broker connection).
    void republish();
    // Discovery saw the box on the bus: connect when not connected.
    void plugged();
    // Device path of the connected box; empty while it is offline.
    std::string heldPath() const;

private:
    void run();
    bool connectBox();  // throws std::runtime_error, as poll() does, when the box stops answering
    void lost(const std::string& what);  // the box gone: offline until discovery sees it again
    void poll(bool force);
    bool execute(const Action& action);
    void publishAll();
    void publishInfo();
    void publishDiscovery();
    void publishDirection(char port);
    void topic(const std::string& rest, const std::string& payload, bool retain = true);
    std::optional<std::string> check(const Action& action) const;  // m_mutex held

    HidBackend& m_bus;
    const std::string m_serial;
    Publisher& m_out;
    const BoxSettings m_settings;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Action> m_queue;
    bool m_stop = false, m_plugged = true, m_republish = false, m_online = false;
    std::string m_path, m_model, m_revision;
    int m_level = 0;
    const boxes::Model* m_layout = &boxes::modelOrAnyBox({});  // what the box's model has
    bool m_outputA = true, m_outputB = true;

    // Worker thread only: the box's connection and the last state published.
    USB_IO m_io;
    std::optional<std::uint8_t> m_relays, m_portA, m_portB;
    std::thread m_thread;
};

}  // namespace iox::mqtt
