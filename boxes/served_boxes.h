#pragma once
// The boxes a daemon serves: a discovery thread finds boxes on the bus (at start and plugged
// in later) and gives each a BoxWorker, whose news goes to every face (MQTT, the web) through
// an observer each face makes for that box. Commands from any face reach the box's worker.

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "box_worker.h"

namespace iox::boxes {

// A face over every served box: it makes the observer of each box as the box is first found.
class BoxFace {
public:
    virtual ~BoxFace() = default;
    virtual std::unique_ptr<BoxObserver> observe(const std::string& serial) = 0;
};

struct ServedSettings {
    std::vector<std::string> serials;  // empty: every box
    WorkerSettings worker;
    std::chrono::milliseconds discoveryPeriod{200};
};

class ServedBoxes {
public:
    ServedBoxes(HidBackend& bus, ServedSettings settings);
    ~ServedBoxes();  // stop()
    ServedBoxes(const ServedBoxes&) = delete;
    ServedBoxes& operator=(const ServedBoxes&) = delete;

    void addFace(BoxFace& face);  // before start()
    // One discovery round at once, so that the boxes on the bus now are held on return; then
    // the discovery thread.
    void start();
    // Every worker ends, each telling its faces offline.
    void stop();

    bool holds(const std::string& serial) const;
    std::vector<std::string> serials() const;
    std::optional<CommandRefusal> submit(const std::string& serial, const BoxCommand& command, CommandDone done = {});
    std::optional<CommandRefusal> hold(const std::string& serial, BoxJob job, std::function<void()> done);
    void republish();  // every box tells every face everything again

private:
    struct Served;
    void discover();
    void discoveryLoop();

    HidBackend& m_bus;
    const ServedSettings m_settings;
    std::vector<BoxFace*> m_faces;
    std::set<std::string> m_ignored;  // paths of boxes --sn leaves out; discovery thread only

    mutable std::mutex m_mutex;  // everything below
    std::condition_variable m_changed;
    bool m_stopping = false, m_started = false;
    std::map<std::string, std::unique_ptr<Served>> m_boxes;
    std::thread m_discovery;
};

}  // namespace iox::boxes
