#pragma once
// ioxd: the served boxes, and the faces over them (MQTT, the web), started and stopped in
// an order that never shows a box as something it is not.

#include <memory>

#include "boxes/served_boxes.h"
#include "options.h"

namespace iox::mqtt {
class Bridge;
}
namespace iox::web {
class WebFace;
}

namespace iox::ioxd {

class Daemon {
public:
    Daemon(Options options, HidBackend& bus);
    ~Daemon();  // stop()
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // The faces first (a broker that refuses, a port that is taken, and nothing was touched),
    // then the boxes on the bus, then the faces serve them.
    StartResult start();
    // Every box told offline on every face, then the faces close.
    void stop();

    int httpPort() const;  // where the web face listens; 0 without it

private:
    const Options m_options;
    boxes::ServedBoxes m_boxes;
    std::unique_ptr<boxes::BoxFace> m_log;
    std::unique_ptr<mqtt::Bridge> m_bridge;
    std::unique_ptr<web::WebFace> m_web;
    bool m_started = false;
};

}  // namespace iox::ioxd
