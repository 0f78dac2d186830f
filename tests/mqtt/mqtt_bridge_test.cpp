// The bridge against a real mosquitto broker, with simulated boxes and a real client.
#include <csignal>
#include <fstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "bridge.h"
#include "daemon.h"
#include "device/commands.h"
#include "device/sim/sim_backend.h"
#include "mqtt_fixture.h"
#include "tests/device/wire_table.h"

namespace iox::mqtt::test {
namespace {

using iox::testing::request;

// Boxes of the given models with serial numbers 10001, 10002...
struct Rig {
    explicit Rig(std::initializer_list<const char*> models = {"IOX-MODEL-C"})
    {
        options.host = "127.0.0.1";
        options.port = broker.port();
        for (const char* model : models)
            bus.addBox({model, std::to_string(10001 + bus.boxCount())});
    }
    void start(const std::string& online = "10001")
    {
        bridge = std::make_unique<ioxd::Daemon>(options, bus);
        ASSERT_EQ(bridge->start().code, Exit::Ok);
        ASSERT_TRUE(client.waitFor("iox/" + online + "/availability", "online"));
    }

    Broker broker{BrokerKind::Plain};
    Options options;
    sim::SimBackend bus;
    Client client{broker.port()};
    std::unique_ptr<ioxd::Daemon> bridge;
};

TEST(MqttBridge, PublishesInfoStateAndDiscoveryAndRefusesBadCommandsWithoutTouchingOutputs)
{
    const struct {
        std::string topic, payload, reason;
    } refusals[] = {
        {"bogus/set", "ON", "unknown topic"},
        {"relay/3/set", "maybe", "ON or OFF"},
        {"spi/set", R"({"word":"10x1"})", "\"word\": a word is"},
        {"pulse/set", "{garbage", "JSON object"},
        {"relay/1/set", std::string(1 << 20, 'x'), "1048576 bytes"},
        {"port/b/3/x/set", "ON", "unknown topic"},
        {"relay/3/set/x", "ON", "unknown topic"},
    };
    Rig rig({"IOX-MODEL-D"});
    portAAsInput(rig.bus, 0, 0x05);
    rig.options.names["10001"] = "rig 3";
    rig.start();
    auto& c = rig.client;
    ASSERT_TRUE(c.waitFor("iox/10001/port/b", "0"));  // the last of the first poll
    EXPECT_EQ(nlohmann::json::parse(c.last("iox/10001/info")),
              nlohmann::json::parse(R"({"serial":"10001","model":"IOX-MODEL-D","name":"rig 3",
                  "firmware":{"revision":"A3","level":3},"path":"sim:box0"})"));
    for (const auto& [topic, payload] : std::map<std::string, std::string>{
             {"port/a", "5"}, {"port/a/0", "ON"}, {"port/a/1", "OFF"}, {"port/a/direction", "input"}, {"port/b/direction", "output"}})
        EXPECT_EQ(c.last("iox/10001/" + topic), payload) << topic;

    const auto input = nlohmann::json::parse(c.last("homeassistant/binary_sensor/iox_10001/line_a0/config"));
    const auto relay = nlohmann::json::parse(c.last("homeassistant/switch/iox_10001/relay_3/config"));
    EXPECT_EQ(nlohmann::json::array({input["unique_id"], input["state_topic"], input.contains("command_topic"),
                                     relay["command_topic"], relay["availability"], relay["device"]["identifiers"][0],
                                     relay["device"]["sw_version"], relay["device"]["name"]}),
              nlohmann::json::parse(R"(["iox_10001_line_a0", "iox/10001/port/a/0", false, "iox/10001/relay/3/set",
                  [{"topic": "iox/10001/availability"}, {"topic": "iox/bridge/availability"}], "iox_10001", "A3",
                  "rig 3"])"));
    EXPECT_TRUE(c.waitFor("homeassistant/switch/iox_10001/line_b7/config"));
    for (const auto& refusal : refusals) {
        c.clear();
        c.publish("iox/10001/" + refusal.topic, refusal.payload);
        ASSERT_TRUE(c.waitFor("iox/10001/error")) << refusal.topic;
        const auto error = nlohmann::json::parse(c.last("iox/10001/error"));
        EXPECT_THAT(error["reason"].get<std::string>(), ::testing::HasSubstr(refusal.reason)) << refusal.topic;
    }
    EXPECT_THAT(writes(rig.bus, 0), ::testing::IsEmpty());
}

TEST(MqttBridge, ReadOnlyAndRetainedCommandsAreRefused)
{
    Rig rig;
    rig.client.publish("iox/10001/relay/2/set", "ON", true);  // stale, left on the broker
    ASSERT_TRUE(rig.client.waitFor("iox/10001/relay/2/set", "ON"));
    rig.options.readOnly = true;
    rig.start();
    ASSERT_TRUE(rig.client.waitFor("iox/10001/error"));
    EXPECT_THAT(rig.client.last("iox/10001/error"), ::testing::HasSubstr("retained command ignored"));
    rig.client.publish("iox/10001/relay/2/set", "ON");
    EXPECT_TRUE(rig.client.waitFor("iox/10001/error", R"({"payload":"ON","reason":"the bridge is read-only","topic":"iox/10001/relay/2/set"})"));
    EXPECT_THAT(writes(rig.bus, 0), ::testing::IsEmpty());
}

TEST(MqttBridge, RepublishesAfterTheBrokerComesBackAndAsksAnUnnamedBoxOnlyOnce)
{
    Rig rig({"IOX-MODEL-C", "IOX-MODEL-D", "IOX-MODEL-B"});
    rig.options.serials = {"10002", "10003"};
    rig.start("10002");
    portAAsInput(rig.bus, 1, 0);
    ASSERT_TRUE(rig.client.waitFor("iox/10002/port/a", "0"));
    rig.broker.stop();
    portAAsInput(rig.bus, 1, 0x80);  // changes while the broker is away
    rig.bus.vanish(2);
    std::this_thread::sleep_for(300ms);
    rig.broker.start();
    Client fresh(rig.broker.port());  // mosquitto kept nothing: all it has is republished
    EXPECT_TRUE(fresh.waitFor("iox/bridge/availability", "online", 10s));
    EXPECT_TRUE(fresh.waitFor("iox/10002/availability", "online"));
    EXPECT_TRUE(fresh.waitFor("iox/10002/port/a", "128"));
    EXPECT_TRUE(fresh.waitFor("iox/10002/info"));
    EXPECT_TRUE(fresh.waitFor("iox/10003/availability", "offline"));
    EXPECT_THAT(writes(rig.bus, 1), ::testing::IsEmpty());
    EXPECT_EQ(rig.client.last("iox/10001/availability") + fresh.last("iox/10001/availability"), "");
    // Asked its serial number once by discovery; the workers connect only where their box was seen.
    EXPECT_EQ(rig.bus.requestsTo(0), std::vector<Report>{request(cmd::ReadSn)});
}

TEST(MqttBridge, CommandsReachTheWireAndABoxGoneAndBackCarriesOnLikeTheOthers)
{
    const struct {
        const char* topic;
        const char* payload;
        Report request;
    } cases[] = {
        {"relay/3/set", " on\n", request(34, {3, 1})},
        {"port/b/5/set", "ON", request(32, {66, 5, 1})},
        {"port/a/set", "170", request(31, {65, 170})},
        {"spi/set", R"({"word":"1011","clock":"B0","data":"B1","latch":"A2"})",
         request(36, {66, 0, 66, 1, 65, 2, 4, 1, 0, 1, 1})},
        {"port/b/direction/set", "Input\r\n", request(26)},
    };
    Rig rig({"IOX-MODEL-C", "IOX-MODEL-C"});
    rig.start();
    auto& c = rig.client;
    ASSERT_TRUE(c.waitFor("iox/10002/availability", "online"));
    std::vector<Report> expected;
    for (const auto& command : cases) {
        c.publish(std::string("iox/10001/") + command.topic, command.payload);
        expected.push_back(command.request);
    }
    EXPECT_TRUE(c.waitFor("iox/10001/relay/3", "ON"));
    EXPECT_TRUE(c.waitFor("iox/10001/port/a", "170"));
    EXPECT_TRUE(c.waitFor("iox/10001/port/b/direction", "input"));
    EXPECT_TRUE(c.waitFor("homeassistant/binary_sensor/iox_10001/line_b5/config"));
    EXPECT_EQ(writes(rig.bus, 0), expected);
    rig.bus.vanish(0);
    EXPECT_TRUE(c.waitFor("iox/10001/availability", "offline", 1s));
    c.publish("iox/10002/relay/4/set", "ON");
    EXPECT_TRUE(c.waitFor("iox/10002/relay/4", "ON"));
    c.clear();
    rig.bus.reappear(0);
    EXPECT_TRUE(c.waitFor("iox/10001/availability", "online", 1s));
    EXPECT_TRUE(c.waitFor("iox/10001/relay/0", "OFF", 1s));
    c.publish("iox/10001/relay/1/set", "ON");
    EXPECT_TRUE(c.waitFor("iox/10001/relay/1", "ON"));
    expected.push_back(request(34, {1, 1}));
    EXPECT_EQ(writes(rig.bus, 0), expected);
}

TEST(MqttBridge, YieldsThePrefixToALiveBridgeOfAnotherHostAndMarksBoxesItDoesNotHoldOffline)
{
    Rig rig;
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    for (const auto& [topic, payload] : std::map<std::string, std::string>{{"10001/availability", "online"},
                                                                           {"10009/availability", "online"},
                                                                           {"bridge/availability", "online"},
                                                                           {"bridge/info", R"({"host":"rig-pc-7","pid":1})"}})
        rig.client.publish("iox/" + topic, payload, true);
    ASSERT_TRUE(rig.client.waitFor("iox/bridge/info"));
    const StartResult refused = ioxd::Daemon(rig.options, rig.bus).start();
    EXPECT_EQ(refused.code, Exit::Failure);
    EXPECT_THAT(refused.message, ::testing::HasSubstr("on host rig-pc-7"));
    EXPECT_EQ(rig.bus.openCallsOf("sim:box0"), 0u);

    // The same host's bridge, killed: taken over at once.
    rig.client.publish("iox/bridge/info", nlohmann::json{{"host", host}, {"pid", ::getpid()}}.dump(), true);
    ASSERT_TRUE(rig.client.waitFor("iox/bridge/info", nlohmann::json{{"host", host}, {"pid", ::getpid()}}.dump()));
    rig.start();
    EXPECT_TRUE(rig.client.waitFor("iox/10009/availability", "offline"));
    EXPECT_EQ(rig.client.last("iox/10001/availability"), "online");
}

TEST(MqttBridge, BridgesSharingAClientIdAreToldSoAndBackOff)
{
    Broker broker(BrokerKind::Plain);
    const std::string where = "127.0.0.1:" + std::to_string(broker.port());
    std::vector<pid_t> bridges;
    for (const std::string prefix : {"a", "b"})
        bridges.push_back(spawn({IOXD_PATH, "--broker", where, "--client-id", "rig", "--prefix", prefix,
                                 "--sn", "4242"}, broker.file(prefix + ".log")));
    const auto logged = [&](const std::string& prefix, const std::string& text) {
        for (int i = 0; i < 300; ++i, std::this_thread::sleep_for(100ms)) {
            std::ifstream in(broker.file(prefix + ".log"));
            if (std::string(std::istreambuf_iterator<char>(in), {}).find(text) != std::string::npos)
                return true;
        }
        return false;
    };
    EXPECT_TRUE(logged("a", "ioxd: 4242: not on the bus; waiting for it"));
    EXPECT_TRUE(logged("a", "ioxd: reconnected to " + where));
    EXPECT_TRUE(logged("a", "another client may be using the same client id (\"rig\"); reconnecting in 4 s"));
    for (const pid_t bridge : bridges)
        ::kill(bridge, SIGTERM), waitExit(bridge, 5s);
}

TEST(MqttBridge, StartFailuresNameTheirCause)
{
    const struct {
        BrokerKind kind;
        const char* password;
        const char* ca;  // with TLS: the broker's own certificate (made out to 127.0.0.1), or another
        const char* host;
        Exit code;
        const char* reason;
    } cases[] = {
        {BrokerKind::Password, "wrong", "", "127.0.0.1", Exit::Credentials, "refused the credentials"},
        {BrokerKind::Password, "secret", "", "127.0.0.1", Exit::Ok, ""},
        {BrokerKind::Tls, "", "other.pem", "127.0.0.1", Exit::Tls, "failed: unknown CA"},
        {BrokerKind::Tls, "", "server.pem", "localhost", Exit::Tls, "failed: name mismatch"},
        {BrokerKind::Tls, "", "", "127.0.0.1", Exit::Tls, "speaks TLS on this port"},
        {BrokerKind::Tls, "", "server.pem", "127.0.0.1", Exit::Ok, ""},
    };
    for (const auto& c : cases) {
        Broker broker(c.kind);
        Options options;
        options.host = c.host;
        options.port = broker.port();
        options.username = "bench";
        options.password = c.password;
        options.tlsCa = *c.ca ? broker.file(c.ca) : "";
        sim::SimBackend bus;
        const StartResult result = ioxd::Daemon(options, bus).start();
        EXPECT_EQ(result.code, c.code) << result.message;
        EXPECT_THAT(result.message, ::testing::HasSubstr(c.reason));
        EXPECT_EQ(result.message.find('\n'), std::string::npos);
    }
}

TEST(MqttBridge, SigtermPublishesOfflineAndExitsZero)
{
    Broker broker(BrokerKind::Plain);
    Client client(broker.port());
    const std::string where = "127.0.0.1:" + std::to_string(broker.port());
    const pid_t bridge = spawn({IOXD_PATH, "--broker", where, "--simulate", "IOX-MODEL-B,777"});
    ASSERT_TRUE(client.waitFor("iox/777/availability", "online"));
    ::kill(bridge, SIGTERM);
    EXPECT_EQ(waitExit(bridge, 5s), 0);
    EXPECT_EQ(client.last("iox/777/availability"), "offline");
    EXPECT_EQ(client.last("iox/bridge/availability"), "offline");
    broker.stop();
    EXPECT_EQ(waitExit(spawn({IOXD_PATH, "--broker", where, "--simulate", "IOX-MODEL-B"}), 10s), 3);
}

}  // namespace
}  // namespace iox::mqtt::test
