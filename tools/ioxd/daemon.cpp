#include "daemon.h"

#include <utility>

#include "bridge.h"
#include "log.h"
#include "web_face.h"

namespace iox::ioxd {

namespace {

// Each box's comings and goings in the log, whatever faces serve it.
class BoxLog : public boxes::BoxFace {
    struct Observer : boxes::BoxObserver {
        std::string serial;
        void online(const boxes::BoxInfo& box) override { logLine(serial + ": online (" + box.model + ", " + box.path + ")"); }
        void state(const boxes::BoxInfo&, const boxes::State&, const std::optional<boxes::State>&) override {}
        void direction(const boxes::BoxInfo&, char) override {}
        void offline(const std::string& why) override
        {
            if (why != "stopped" && why != "still offline")
                logLine(serial + ": offline (" + why + ")");
        }
    };

public:
    std::unique_ptr<boxes::BoxObserver> observe(const std::string& serial) override
    {
        auto observer = std::make_unique<Observer>();
        observer->serial = serial;
        return observer;
    }
};

boxes::ServedSettings servedSettings(const Options& options)
{
    boxes::ServedSettings settings;
    settings.serials = options.serials;
    settings.worker.poll = std::chrono::milliseconds(options.pollMs);
    return settings;
}

}  // namespace

Daemon::Daemon(Options options, HidBackend& bus)
    : m_options(std::move(options)), m_boxes(bus, servedSettings(m_options)), m_log(std::make_unique<BoxLog>())
{
    m_boxes.addFace(*m_log);
    if (m_options.mqtt) {
        m_bridge = std::make_unique<mqtt::Bridge>(m_options, m_boxes);
        m_boxes.addFace(*m_bridge);
    }
    if (!m_options.http.address.empty()) {
        m_web = std::make_unique<web::WebFace>(m_options, m_boxes);
        m_boxes.addFace(*m_web);
    }
}

Daemon::~Daemon() { stop(); }

StartResult Daemon::start()
{
    if (m_web)
        if (StartResult result = m_web->start(); result.code != Exit::Ok)
            return result;
    if (m_bridge)
        if (StartResult result = m_bridge->start(); result.code != Exit::Ok)
            return result;
    m_boxes.start();
    for (const std::string& serial : m_options.serials)
        if (!m_boxes.holds(serial))
            logLine(serial + ": not on the bus; waiting for it");
    if (m_bridge)
        m_bridge->serve();
    m_started = true;
    return {};
}

void Daemon::stop()
{
    if (m_web)
        m_web->stop();  // first: an update under way stops where it safely can, and is answered
    if (m_bridge)
        m_bridge->stop();  // the boxes, their offline messages acknowledged, then the bridge
    m_boxes.stop();
    if (std::exchange(m_started, false))
        logLine("stopped");
}

int Daemon::httpPort() const { return m_web ? m_options.http.port : 0; }

}  // namespace iox::ioxd
