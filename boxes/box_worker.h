#pragma once
// One box served to the network: a thread of its own owns the box's USB_IO, polls it, runs
// the commands queued for it, goes offline when the box stops answering and comes back when
// the box is seen again. It never writes to the box unless a command asks for it. What
// happens is told to an observer, the face that presents it (MQTT topics, a web page).

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "box_command.h"
#include "device/one_box_backend.h"
#include "identity.h"
#include "models.h"
#include "state.h"

namespace iox::boxes {

// Who the box is and how it stands, as the worker knows it.
struct BoxInfo {
    std::string serial, model, path;
    Firmware firmware;
    const Model* layout = nullptr;  // never null once online
    bool outputA = true, outputB = true;
};

// Called on the worker's thread, never with the worker's lock held; an observer must not
// wait for the box.
class BoxObserver {
public:
    virtual ~BoxObserver() = default;
    // The box answered (again), or a face asked for everything again (republish()).
    virtual void online(const BoxInfo& box) = 0;
    // The first state after online(), then each change; `before` is the last one told.
    virtual void state(const BoxInfo& box, const State& now, const std::optional<State>& before) = 0;
    virtual void direction(const BoxInfo& box, char port) = 0;
    // The box stopped answering (why names the request), or the worker ends ("stopped"), or
    // the box was let go after it was held ("updated"); told again ("still offline") when a
    // face asks for everything again while the box is away.
    virtual void offline(const std::string& why) = 0;
    // The box is held for work of its own (a firmware update) until offline() is told.
    virtual void updating(const BoxInfo& /*box*/) {}
};

// Work that needs the box to itself, such as a firmware update: run on the worker's thread
// with the box's connection and the bus it is on.
using BoxJob = std::function<void(USB_IO& io, HidBackend& bus)>;

struct WorkerSettings {
    std::chrono::milliseconds poll{5};
    // Longest wait for one answer; a box that does not answer in time counts as gone.
    std::chrono::milliseconds exchangeTimeout{300};
    std::size_t maxQueued = 64;
};

class BoxWorker {
public:
    // Connects to the box at path, found there by discovery with this serial number.
    BoxWorker(HidBackend& bus, std::string serial, std::string path, BoxObserver& observer,
              WorkerSettings settings = {});
    ~BoxWorker();  // ends the thread, then tells the observer offline
    BoxWorker(const BoxWorker&) = delete;
    BoxWorker& operator=(const BoxWorker&) = delete;

    const std::string& serial() const { return m_serial; }
    // Checks the command against the box's model and directions and queues it; the refusal
    // when refused. Never waits for the box: done, when given, is called on the worker's
    // thread once the box has answered, or with why it could not be carried out.
    std::optional<CommandRefusal> submit(const BoxCommand& command, CommandDone done = {});
    // Queues a job: from then on every command is refused, and the box's path (where its
    // bootloader shows) is not offered to discovery until the job has ended; the box is then
    // told offline and connected again once discovery sees it back. done runs after the job,
    // or when the job is dropped unrun (the box went offline first).
    std::optional<CommandRefusal> hold(BoxJob job, std::function<void()> done);
    // Tell the observer everything again (after a broker connection, say).
    void republish();
    // Discovery saw the box on the bus at path: connect there when not connected. Only that
    // interface is opened, never the boxes other workers hold.
    void plugged(const std::string& path);
    // Device path of the connected box; empty while it is offline.
    std::string heldPath() const;

private:
    void run();
    bool connectBox();
    void serve(std::chrono::milliseconds interval, const std::optional<State>& last);  // between polls
    bool execute(const BoxCommand& command);
    std::optional<CommandRefusal> check(const BoxCommand& command) const;  // m_mutex held
    void dropQueued(const std::string& why);                                // m_mutex not held
    // The box offline, its queued commands dropped; it is connected again once it is seen.
    void letGo(const std::string& queuedWhy, const std::string& offlineWhy);
    BoxInfo info() const;

    HidBackend& m_bus;
    const std::string m_serial;
    BoxObserver& m_observer;
    const WorkerSettings m_settings;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    struct Queued {
        BoxCommand command;
        CommandDone done;
        BoxJob job;  // when set, run instead of the command
        std::function<void()> jobDone;
    };
    std::deque<Queued> m_queue;
    bool m_stop = false, m_plugged = true, m_republish = false, m_online = false;
    bool m_held = false;  // a job is queued or running
    std::string m_pluggedPath;
    BoxInfo m_box;

    // Worker thread only.
    OneBoxBackend m_view;  // the path the box was last seen at
    USB_IO m_io;
    bool m_commandFailed = false;
    bool m_released = false;  // a job ended: the box is let go
    std::thread m_thread;
};

}  // namespace iox::boxes
