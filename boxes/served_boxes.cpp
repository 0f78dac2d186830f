#include "served_boxes.h"

#include <algorithm>

#include "device/commands.h"
#include "identity.h"

namespace iox::boxes {

namespace {

constexpr auto kProbeTimeout = std::chrono::milliseconds(200);

// Tells each face's observer of one box in turn.
class FanOut : public BoxObserver {
public:
    std::vector<std::unique_ptr<BoxObserver>> observers;

    void online(const BoxInfo& box) override
    {
        for (auto& o : observers)
            o->online(box);
    }
    void state(const BoxInfo& box, const State& now, const std::optional<State>& before) override
    {
        for (auto& o : observers)
            o->state(box, now, before);
    }
    void direction(const BoxInfo& box, char port) override
    {
        for (auto& o : observers)
            o->direction(box, port);
    }
    void offline(const std::string& why) override
    {
        for (auto& o : observers)
            o->offline(why);
    }
    void updating(const BoxInfo& box) override
    {
        for (auto& o : observers)
            o->updating(box);
    }
};

}  // namespace

// The observers are made before the worker, which tells them, and end after it.
struct ServedBoxes::Served {
    Served(HidBackend& bus, const std::string& serial, const std::string& path, const std::vector<BoxFace*>& faces,
           WorkerSettings settings)
        : fanOut(observersOf(serial, faces)), worker(bus, serial, path, fanOut, settings)
    {
    }
    static FanOut observersOf(const std::string& serial, const std::vector<BoxFace*>& faces)
    {
        FanOut out;
        for (BoxFace* face : faces)
            out.observers.push_back(face->observe(serial));
        return out;
    }
    FanOut fanOut;
    BoxWorker worker;
};

ServedBoxes::ServedBoxes(HidBackend& bus, ServedSettings settings) : m_bus(bus), m_settings(std::move(settings)) {}

ServedBoxes::~ServedBoxes() { stop(); }

void ServedBoxes::addFace(BoxFace& face) { m_faces.push_back(&face); }

void ServedBoxes::start()
{
    discover();
    std::lock_guard held(m_mutex);
    m_started = true;
    m_discovery = std::thread(&ServedBoxes::discoveryLoop, this);
}

void ServedBoxes::stop()
{
    std::unique_lock held(m_mutex);
    if (m_stopping)
        return;
    m_stopping = true;
    m_changed.notify_all();
    const bool started = m_started;
    held.unlock();
    if (started)
        m_discovery.join();
    std::map<std::string, std::unique_ptr<Served>> boxes;
    held.lock();
    boxes.swap(m_boxes);
    held.unlock();
    boxes.clear();
}

bool ServedBoxes::holds(const std::string& serial) const
{
    std::lock_guard held(m_mutex);
    return m_boxes.count(serial) > 0;
}

std::vector<std::string> ServedBoxes::serials() const
{
    std::lock_guard held(m_mutex);
    std::vector<std::string> out;
    for (const auto& [serial, box] : m_boxes)
        out.push_back(serial);
    return out;
}

std::optional<CommandRefusal> ServedBoxes::submit(const std::string& serial, const BoxCommand& command, CommandDone done)
{
    std::lock_guard held(m_mutex);
    const auto it = m_boxes.find(serial);
    if (it == m_boxes.end())
        return CommandRefusal{Refused::UnknownBox, "no box with serial number " + serial};
    return it->second->worker.submit(command, std::move(done));
}

std::optional<CommandRefusal> ServedBoxes::hold(const std::string& serial, BoxJob job, std::function<void()> done)
{
    std::lock_guard held(m_mutex);
    const auto it = m_boxes.find(serial);
    if (it == m_boxes.end())
        return CommandRefusal{Refused::UnknownBox, "no box with serial number " + serial};
    return it->second->worker.hold(std::move(job), std::move(done));
}

void ServedBoxes::republish()
{
    std::lock_guard held(m_mutex);
    for (auto& [serial, box] : m_boxes)
        box->worker.republish();
}

void ServedBoxes::discover()
{
    std::set<std::string> held;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [serial, box] : m_boxes)
            if (const std::string path = box->worker.heldPath(); !path.empty())
                held.insert(path);
    }
    const auto listed = m_bus.enumerate();
    // A box that the serial numbers leave out is asked once while it stays on the bus, not every round.
    std::erase_if(m_ignored, [&](const std::string& path) {
        return std::none_of(listed.begin(), listed.end(), [&](const HidInterface& hid) { return hid.path == path; });
    });
    for (const auto& hid : listed) {
        if (hid.vendorId != kBoxVendorId || hid.productId != kBoxProductId || held.count(hid.path) ||
            m_ignored.count(hid.path))
            continue;
        // The serial-number request alone, on a handle of its own.
        const std::string serial = identify(m_bus, hid.path, Ask::Serial, kProbeTimeout).serial;
        if (serial.empty())
            continue;
        const auto& wanted = m_settings.serials;
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), serial) == wanted.end()) {
            m_ignored.insert(hid.path);
            continue;
        }
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        auto& box = m_boxes[serial];
        if (box)
            box->worker.plugged(hid.path);
        else
            box = std::make_unique<Served>(m_bus, serial, hid.path, m_faces, m_settings.worker);
    }
}

void ServedBoxes::discoveryLoop()
{
    std::unique_lock held(m_mutex);
    while (!m_stopping) {
        held.unlock();
        discover();
        held.lock();
        m_changed.wait_for(held, m_settings.discoveryPeriod, [&] { return m_stopping; });
    }
}

}  // namespace iox::boxes
