#pragma once
// What the web face knows of every box (its JSON, kept up to date by each box's observer)
// and the clients that follow the changes: each subscriber has its own queue of events, so a
// slow client holds up nobody; one that falls too far behind is let go.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "boxes/served_boxes.h"

namespace iox::web {

struct Event {
    std::string kind;  // "state", "availability" or "firmware"
    std::string json;  // the box as JSON as it stands after the change; a firmware update's progress
};

class Subscription {
public:
    // Each event is formatted once, as the stream carries it, and shared by every queue.
    using Frame = std::shared_ptr<const std::string>;

    // Waits up to `wait` for events. A stream written to less than `gap` ago then waits out the
    // rest of the gap, so that on a busy stream what comes meanwhile goes out in the same write
    // rather than one write per event. The events as the stream carries them; empty when none
    // came. Nullopt once the feed closed or this subscriber was let go.
    std::optional<std::string> next(std::chrono::milliseconds wait, std::chrono::milliseconds gap);

private:
    friend class BoxFeed;
    void push(const Frame& frame);  // wakes the subscriber only when its queue was empty

    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<Frame> m_events;
    std::chrono::steady_clock::time_point m_lastBatch;
    bool m_ended = false;
};

class BoxFeed : public boxes::BoxFace {
public:
    explicit BoxFeed(std::map<std::string, std::string> names);

    std::unique_ptr<boxes::BoxObserver> observe(const std::string& serial) override;

    std::vector<std::string> all() const;               // every box seen, as JSON, by serial number
    // The box as its worker last told it; nullopt unless it is online and not being updated.
    std::optional<boxes::BoxInfo> online(const std::string& serial) const;
    // An event that is news only: a firmware update's progress, say.
    void tell(const Event& event);
    std::optional<std::string> box(const std::string& serial) const;
    // A new subscriber, its queue holding every box's current state; nullptr when `most`
    // subscribers follow already.
    std::shared_ptr<Subscription> subscribe(std::size_t most);
    void unsubscribe(const std::shared_ptr<Subscription>& subscription);
    void close();  // every subscriber ends

private:
    struct Known {
        boxes::BoxInfo info;
        std::optional<boxes::State> state;
        bool online = false, updating = false;
    };
    class Observer;
    void update(const std::string& serial, const std::string& kind, const std::function<void(Known&)>& change);
    void queue(const Event& event);  // m_mutex held
    std::string json(const Known& known) const;  // m_mutex held

    const std::map<std::string, std::string> m_names;
    mutable std::mutex m_mutex;
    std::map<std::string, Known> m_boxes;
    std::vector<std::shared_ptr<Subscription>> m_subscribers;
    bool m_closed = false;
};

}  // namespace iox::web
