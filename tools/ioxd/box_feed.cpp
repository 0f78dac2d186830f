#include "box_feed.h"

#include <algorithm>

#include "boxes/box_json.h"

namespace iox::web {

namespace {

constexpr std::size_t kMaxQueuedEvents = 4096;  // a subscriber this far behind is let go

Subscription::Frame frame(const Event& event)
{
    return std::make_shared<const std::string>("event: " + event.kind + "\ndata: " + event.json + "\n\n");
}

}  // namespace

std::optional<std::string> Subscription::next(std::chrono::milliseconds wait, std::chrono::milliseconds gap)
{
    std::unique_lock held(m_mutex);
    m_arrived.wait_for(held, wait, [&] { return m_ended || !m_events.empty(); });
    if (!m_ended && !m_events.empty())
        m_arrived.wait_until(held, m_lastBatch + gap, [&] { return m_ended; });
    if (m_ended)
        return std::nullopt;
    std::string text;
    for (const Frame& event : m_events)
        text += *event;
    m_events.clear();
    if (!text.empty())
        m_lastBatch = std::chrono::steady_clock::now();
    return text;
}

void Subscription::push(const Frame& frame)
{
    bool wake = false;
    {
        std::lock_guard held(m_mutex);
        if (m_events.size() >= kMaxQueuedEvents) {
            wake = !m_ended;
            m_ended = true;
        } else if (!m_ended) {
            wake = m_events.empty();  // otherwise the subscriber is awake or waiting out its gap
            m_events.push_back(frame);
        }
    }
    if (wake)
        m_arrived.notify_one();
}

class BoxFeed::Observer : public boxes::BoxObserver {
public:
    Observer(BoxFeed& feed, std::string serial) : m_feed(feed), m_serial(std::move(serial)) {}

    void online(const boxes::BoxInfo& box) override
    {
        m_feed.update(m_serial, "availability", [&](Known& known) {
            known.info = box;
            known.online = true;
        });
    }
    void state(const boxes::BoxInfo&, const boxes::State& now, const std::optional<boxes::State>&) override
    {
        m_feed.update(m_serial, "state", [&](Known& known) { known.state = now; });
    }
    void direction(const boxes::BoxInfo& box, char) override
    {
        m_feed.update(m_serial, "state", [&](Known& known) { known.info = box; });
    }
    void offline(const std::string&) override
    {
        m_feed.update(m_serial, "availability", [&](Known& known) {
            known.online = known.updating = false;
            known.state.reset();  // read anew when the box is back
        });
    }
    void updating(const boxes::BoxInfo&) override
    {
        m_feed.update(m_serial, "availability", [&](Known& known) { known.updating = true; });
    }

private:
    BoxFeed& m_feed;
    const std::string m_serial;
};

BoxFeed::BoxFeed(std::map<std::string, std::string> names) : m_names(std::move(names)) {}

std::unique_ptr<boxes::BoxObserver> BoxFeed::observe(const std::string& serial)
{
    {
        std::lock_guard held(m_mutex);
        m_boxes[serial].info.serial = serial;
    }
    return std::make_unique<Observer>(*this, serial);
}

std::string BoxFeed::json(const Known& known) const
{
    boxes::BoxFacts facts;
    facts.serial = known.info.serial;
    if (!known.info.model.empty()) {
        facts.model = known.info.model;
        facts.firmware = known.info.firmware;
        facts.outputA = known.info.outputA;
        facts.outputB = known.info.outputB;
    }
    if (const auto name = m_names.find(known.info.serial); name != m_names.end())
        facts.name = name->second;
    if (known.online)
        facts.path = known.info.path;
    facts.online = known.online && !known.updating;
    facts.updating = known.updating;
    if (*facts.online)
        facts.state = known.state;
    return boxes::boxJson(facts).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void BoxFeed::update(const std::string& serial, const std::string& kind, const std::function<void(Known&)>& change)
{
    std::lock_guard held(m_mutex);
    Known& known = m_boxes[serial];
    change(known);
    queue({kind, json(known)});
}

void BoxFeed::tell(const Event& event)
{
    std::lock_guard held(m_mutex);
    queue(event);
}

std::optional<boxes::BoxInfo> BoxFeed::online(const std::string& serial) const
{
    std::lock_guard held(m_mutex);
    const auto it = m_boxes.find(serial);
    if (it == m_boxes.end() || !it->second.online || it->second.updating)
        return std::nullopt;
    return it->second.info;
}

void BoxFeed::queue(const Event& event)
{
    const Subscription::Frame formatted = frame(event);
    for (auto& subscriber : m_subscribers)
        subscriber->push(formatted);
}

std::vector<std::string> BoxFeed::all() const
{
    std::lock_guard held(m_mutex);
    std::vector<std::string> boxes;
    for (const auto& [serial, known] : m_boxes)
        boxes.push_back(json(known));
    return boxes;
}

std::optional<std::string> BoxFeed::box(const std::string& serial) const
{
    std::lock_guard held(m_mutex);
    const auto it = m_boxes.find(serial);
    return it == m_boxes.end() ? std::nullopt : std::optional(json(it->second));
}

std::shared_ptr<Subscription> BoxFeed::subscribe(std::size_t most)
{
    auto subscription = std::make_shared<Subscription>();
    std::lock_guard held(m_mutex);
    if (m_subscribers.size() >= most)
        return nullptr;
    for (const auto& [serial, known] : m_boxes)
        subscription->m_events.push_back(frame({"state", json(known)}));
    subscription->m_ended = m_closed;
    m_subscribers.push_back(subscription);
    return subscription;
}

void BoxFeed::unsubscribe(const std::shared_ptr<Subscription>& subscription)
{
    std::lock_guard held(m_mutex);
    std::erase(m_subscribers, subscription);
}

void BoxFeed::close()
{
    std::lock_guard held(m_mutex);
    m_closed = true;
    for (auto& subscriber : m_subscribers) {
        std::lock_guard queue(subscriber->m_mutex);
        subscriber->m_ended = true;
        subscriber->m_arrived.notify_all();
    }
}

}  // namespace iox::web
