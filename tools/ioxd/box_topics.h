#pragma once
// One box on the broker: what its worker tells is published on the box's topics, retained,
// with Home Assistant's discovery messages. Nothing here talks to the box.

#include <chrono>
#include <string>

#include "boxes/box_worker.h"

namespace iox::mqtt {

class Publisher {
public:
    virtual ~Publisher() = default;
    // Never blocks on the broker; a message that cannot go out now is dropped (the state
    // is published again after the next connection).
    virtual void publish(const std::string& topic, const std::string& payload, bool retain) = 0;
};

struct TopicSettings {
    std::string prefix = "iox";
    std::string discoveryPrefix = "homeassistant";
    bool discovery = true;
};

class BoxTopics : public boxes::BoxObserver {
public:
    BoxTopics(std::string serial, std::string name, Publisher& out, TopicSettings settings);

    void online(const boxes::BoxInfo& box) override;
    void state(const boxes::BoxInfo& box, const boxes::State& now, const std::optional<boxes::State>& before) override;
    void direction(const boxes::BoxInfo& box, char port) override;
    void offline(const std::string& why) override;
    void updating(const boxes::BoxInfo& box) override;  // shown offline meanwhile

private:
    void publishDirection(const boxes::BoxInfo& box, char port);
    void publishDiscovery(const boxes::BoxInfo& box);
    void topic(const std::string& rest, const std::string& payload, bool retain = true);

    const std::string m_serial, m_name;  // name: the one given with --name, if any
    Publisher& m_out;
    const TopicSettings m_settings;
};

}  // namespace iox::mqtt
