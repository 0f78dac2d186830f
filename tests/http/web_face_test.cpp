// ioxd's web face over simulated boxes, with a real HTTP client on loopback.
#include <fstream>
#include <future>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "daemon.h"
#include "mqtt_fixture.h"
#include "device/commands.h"
#include "device/sim/sim_backend.h"
#include "tests/device/wire_table.h"

namespace iox::web::test {
namespace {

using namespace std::chrono_literals;
using iox::mqtt::test::freePort;
using iox::mqtt::test::writes;
using iox::testing::request;

// An IOX-MODEL-C 10001 named "rig 3" and an IOX-MODEL-D 10002, served on the web only.
struct Rig {
    explicit Rig(const std::function<void(ioxd::Options&)>& configure = {})
    {
        bus.addBox({"IOX-MODEL-C", "10001"});
        bus.addBox({"IOX-MODEL-D", "10002", {2, 1, 0, 0, 'A', '2'}});  // too old to take an update
        options.mqtt = false;
        options.http.address = "127.0.0.1";
        options.http.port = freePort();
        options.names["10001"] = "rig 3";
        if (configure)
            configure(options);
        daemon = std::make_unique<ioxd::Daemon>(options, bus);
        EXPECT_EQ(daemon->start().code, ioxd::Exit::Ok);
        client = std::make_unique<httplib::Client>("127.0.0.1", options.http.port);
        for (int i = 0; i < 100 && !online("10002"); ++i)
            std::this_thread::sleep_for(10ms);
    }
    bool online(const std::string& serial)
    {
        const auto got = client->Get("/api/boxes/" + serial);
        return got && got->status == 200 && nlohmann::json::parse(got->body).value("online", false);
    }

    sim::SimBackend bus;
    ioxd::Options options;
    std::unique_ptr<ioxd::Daemon> daemon;
    std::unique_ptr<httplib::Client> client;
};

// Everything GET /api/events sends, gathered on a thread of its own until `last` has come.
class Events {
public:
    Events(int port, std::string last) : m_client("127.0.0.1", port), m_last(std::move(last))
    {
        m_reader = std::thread([this] {
            m_client.Get("/api/events", [this](const char* data, std::size_t size) {
                std::lock_guard held(m_mutex);
                m_stream.append(data, size);
                return m_stream.find(m_last) == std::string::npos;
            });
        });
    }
    ~Events() { m_reader.join(); }
    bool seen(const std::string& text)  // within 3 s
    {
        for (int i = 0; i < 300; ++i, std::this_thread::sleep_for(10ms)) {
            std::lock_guard held(m_mutex);
            if (m_stream.find(text) != std::string::npos)
                return true;
        }
        return false;
    }

private:
    httplib::Client m_client;
    const std::string m_last;
    std::mutex m_mutex;
    std::string m_stream;
    std::thread m_reader;
};

TEST(WebFace, CommandsAnswerOnceTheBoxHasThemAndReachTheWire)
{
    const struct {
        const char* command;
        const char* body;
        Report request;
    } rows[] = {
        {"relay/3", "ON", request(34, {3, 1})},
        {"port/b/5", "off\n", request(32, {66, 5, 0})},
        {"port/a", "170", request(31, {65, 170})},
        {"spi", R"({"word":"10"})", request(36, {66, 0, 66, 1, 66, 2, 2, 1, 0})},
        {"pulse", R"({"line":"A2","ms":5})", request(50, {65, 2, 5})},
        {"pulse-width", "20", request(8, {20})},
        {"port/b/direction", "input", request(26)},
    };
    Rig rig;
    std::vector<Report> expected;
    for (const auto& row : rows) {
        const auto got = rig.client->Post(std::string("/api/boxes/10001/") + row.command, row.body, "text/plain");
        ASSERT_TRUE(got);
        EXPECT_EQ(got->status, 204) << row.command << " " << got->body;
        expected.push_back(row.request);
        EXPECT_EQ(writes(rig.bus, 0), expected) << row.command;  // already on the wire when answered
    }
}

TEST(WebFace, RefusalsAnswerTheirStatusAndReasonAndSendNothing)
{
    const struct {
        const char* method;
        std::string path, body;
        httplib::Headers headers;
        int status;
        const char* reason;
    } rows[] = {
        {"POST", "/api/boxes/10001/relay/9", "ON", {}, 400, "a relay is a number from 0 to 7"},
        {"POST", "/api/boxes/10001/relay/3", "maybe", {}, 400, "payload must be ON or OFF"},
        {"POST", "/api/boxes/10001/bogus", "ON", {}, 404, "unknown command"},
        {"POST", "/api/boxes/99999/relay/1", "ON", {}, 404, "no box with serial number 99999"},
        {"GET", "/api/boxes/99999", "", {}, 404, "no box with serial number 99999"},
        {"POST", "/api/boxes/10002/port/a/1", "ON", {}, 409, "port A is set as input"},
        {"POST", "/api/boxes/10002/port/a", "5", {}, 409, "port A is set as input"},
        {"GET", "/api/boxes", "", {{"Host", "rebound.example:8080"}}, 403, "is not this daemon's"},
        {"POST", "/api/boxes/10001/relay/1", "ON", {{"Origin", "http://evil.example"}}, 403, "cross-site"},
        {"POST", "/api/boxes/10001/relay/1", "ON", {{"Sec-Fetch-Site", "cross-site"}}, 403, "cross-site"},
        {"POST", "/api/boxes/10001/spi", std::string(5000, ' '), {}, 413, "too large"},
    };
    Rig rig;
    for (const auto& row : rows) {
        const auto got = std::string(row.method) == "GET"
                             ? rig.client->Get(row.path, row.headers)
                             : rig.client->Post(row.path, row.headers, row.body, "text/plain");
        ASSERT_TRUE(got) << row.path;
        EXPECT_EQ(got->status, row.status) << row.path;
        EXPECT_THAT(got->body, ::testing::HasSubstr(row.reason)) << row.path;
    }
    EXPECT_THAT(writes(rig.bus, 0), ::testing::IsEmpty());
    EXPECT_THAT(writes(rig.bus, 1), ::testing::IsEmpty());
    rig.bus.vanish(0);
    for (int i = 0; i < 100 && rig.online("10001"); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(rig.client->Post("/api/boxes/10001/relay/1", "ON", "text/plain")->status, 503);
}

TEST(WebFace, APasswordGuardsEveryRequestAndReadOnlyClosesCommands)
{
    const std::string file = ::testing::TempDir() + "ioxd-web-password";
    std::ofstream(file) << "s3cret\n";
    Rig rig([&](ioxd::Options& o) {
        o.http.password = "s3cret";
        o.readOnly = true;
    });
    EXPECT_EQ(rig.client->Get("/api/boxes")->status, 401);
    rig.client->set_basic_auth("iox", "wrong");
    EXPECT_EQ(rig.client->Get("/api/boxes")->status, 401);
    rig.client->set_basic_auth("iox", "s3cret");
    EXPECT_EQ(rig.client->Get("/api/boxes")->status, 200);
    EXPECT_EQ(rig.client->Post("/api/boxes/10001/relay/1", "ON", "text/plain")->status, 403);
    EXPECT_THAT(writes(rig.bus, 0), ::testing::IsEmpty());
}

TEST(WebFace, BoxesAsJsonAndTheirChangesAsEvents)
{
    Rig rig;
    const auto boxes = nlohmann::json::parse(rig.client->Get("/api/boxes")->body);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], nlohmann::json::parse(R"({"serial":"10001","model":"IOX-MODEL-C","name":"rig 3",
        "firmware":{"revision":"A3","level":3},"path":"sim:box0","online":true,
        "updating":false,"directions":{"A":"output","B":"output"},"A":0,"B":0,"relays":0})"));
    EXPECT_EQ(boxes[1]["directions"], nlohmann::json::parse(R"({"A":"input","B":"output"})"));

    Events events(rig.options.http.port, "\"online\":false");
    EXPECT_TRUE(events.seen("event: state\ndata: {\"serial\":\"10002\""));  // every box's state first
    iox::mqtt::test::portAAsInput(rig.bus, 1, 0x81);
    EXPECT_TRUE(events.seen("\"A\":129"));
    rig.bus.vanish(1);
    EXPECT_TRUE(events.seen("event: availability\ndata: {\"serial\":\"10002\",\"model\":\"IOX-MODEL-D\""));
    EXPECT_TRUE(events.seen("\"online\":false"));
}

TEST(WebFace, AnUploadIsCheckedBeforeTheBoxIsTouchedThenWrittenWithItsProgressWhileCommandsWait)
{
    std::ifstream file(IOX_SAMPLE_IMAGE);
    const std::string image(std::istreambuf_iterator<char>(file), {});
    const struct {
        std::string path, body;
        int status;
        const char* reason;
    } refusals[] = {
        {"/api/boxes/10001/firmware", image, 400, "the image's file name"},
        {"/api/boxes/10001/firmware?name=firmware.hex", image, 400,
         "Ilegal Firmware file: the image's file name must begin with USB_IO_Firmware_ (firmware.hex)"},
        {"/api/boxes/10001/firmware?name=USB_IO_Firmware_A4.hex", ":10000000garbage\n", 400, "USB_IO_Firmware_A4.hex"},
        {"/api/boxes/10002/firmware?name=USB_IO_Firmware_A4.hex", image, 400, "level"},
        {"/api/boxes/99999/firmware?name=USB_IO_Firmware_A4.hex", image, 404, "no box"},
        {"/api/boxes/10001/firmware?name=USB_IO_Firmware_A4.hex", std::string((4 << 20) + 1, ':'), 413, "too large"},
    };
    Rig rig;
    for (const auto& row : refusals) {
        const auto got = rig.client->Post(row.path, row.body, "application/octet-stream");
        ASSERT_TRUE(got) << row.path;
        EXPECT_EQ(got->status, row.status) << row.path;
        EXPECT_THAT(got->body, ::testing::HasSubstr(row.reason)) << row.path;
    }
    EXPECT_THAT(writes(rig.bus, 0), ::testing::IsEmpty());
    EXPECT_THAT(writes(rig.bus, 1), ::testing::IsEmpty());

    Events events(rig.options.http.port, "\"phase\":\"waiting for the new firmware\"");
    httplib::Client uploader("127.0.0.1", rig.options.http.port);
    uploader.set_read_timeout(60);
    auto upload = std::async(std::launch::async, [&] {
        return uploader.Post("/api/boxes/10001/firmware?name=USB_IO_Firmware_A4.hex", image, "application/octet-stream");
    });
    EXPECT_TRUE(events.seen("\"updating\":true"));
    EXPECT_EQ(rig.client->Post("/api/boxes/10001/relay/1", "ON", "text/plain")->status, 503);
    const auto answer = upload.get();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200) << answer->body;
    EXPECT_TRUE(events.seen(R"({"serial":"10001","phase":"sending the image","sent":4,"total":4})"));
    auto held = rig.bus.lock();
    EXPECT_EQ(rig.bus.box(0).bootloaderLines().size(), 4u);
}

}  // namespace
}  // namespace iox::web::test
