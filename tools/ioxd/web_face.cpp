#include "web_face.h"

#include <algorithm>
#include <cctype>
#include <future>
#include <thread>

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include "boxes/box_json.h"
#include "boxes/command_words.h"
#include "firmware_core/update_front_end.h"
#include "log.h"
#include "web_files.h"

namespace iox::web {

namespace {

constexpr auto kKeepAlive = std::chrono::seconds(15);     // a comment line on a quiet event stream
// Least time between two writes to one event stream: a quiet stream gets an event at once, a busy
// one in batches, never later than one default poll.
constexpr auto kBatchGap = std::chrono::milliseconds(5);
constexpr auto kAnswerWait = std::chrono::seconds(10);    // longest wait for the box to carry a command out
constexpr int kThreads = 96;                              // each event client holds one
constexpr std::size_t kMaxFollowers = 64;                 // leaves threads for the other requests
constexpr std::size_t kMaxImage = 4 << 20;                // the largest upload taken as an image
constexpr auto kUpdateWait = std::chrono::minutes(5);     // longer than the slowest update

int statusOf(boxes::Refused why)
{
    switch (why) {
    case boxes::Refused::BadValue: return 400;
    case boxes::Refused::UnknownCommand:
    case boxes::Refused::UnknownBox: return 404;
    case boxes::Refused::InputPort: return 409;
    case boxes::Refused::Unavailable: break;
    }
    return 503;
}

void answer(httplib::Response& response, int status, const std::string& reason)
{
    response.status = status;
    response.set_content(nlohmann::json{{"reason", reason}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                         "application/json");
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The host a Host header names, without its port; an IPv6 address without its brackets.
std::string hostOf(const std::string& header)
{
    if (header.starts_with('['))
        return lower(header.substr(1, header.find(']') - 1));
    const auto colon = header.find(':');
    return lower(header.substr(0, colon));
}

std::string base64(const std::string& text)
{
    std::string out(4 * ((text.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                       reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    out.resize(static_cast<std::size_t>(length));
    return out;
}

// Equal texts, in a time that does not tell how much of them matched.
bool sameSecret(const std::string& given, const std::string& expected)
{
    unsigned char a[SHA256_DIGEST_LENGTH], b[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(given.data()), given.size(), a);
    SHA256(reinterpret_cast<const unsigned char*>(expected.data()), expected.size(), b);
    return CRYPTO_memcmp(a, b, sizeof a) == 0;
}

}  // namespace

WebFace::WebFace(const ioxd::Options& options, boxes::ServedBoxes& boxes)
    : m_options(options), m_boxes(boxes), m_feed(options.names)
{
}

WebFace::~WebFace() { stop(); }

std::unique_ptr<boxes::BoxObserver> WebFace::observe(const std::string& serial) { return m_feed.observe(serial); }

ioxd::StartResult WebFace::start()
{
    const ioxd::HttpOptions& http = m_options.http;
    const bool tls = !http.tlsCert.empty();
    if (tls)
        m_server = std::make_unique<httplib::SSLServer>(http.tlsCert.c_str(), http.tlsKey.c_str());
    else
        m_server = std::make_unique<httplib::Server>();
    const std::string where = (http.address.find(':') != std::string::npos ? "[" + http.address + "]" : http.address) +
                              ":" + std::to_string(http.port);
    if (!m_server->is_valid())
        return {ioxd::Exit::BadArgument, "--http-tls-cert, --http-tls-key: cannot serve HTTPS with these files"};
    route();
    if (!m_server->bind_to_port(http.address, http.port))
        return {ioxd::Exit::Failure, "the web face cannot listen on " + where + ": " + std::strerror(errno)};
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // The library's stop() only ends a loop that has begun: wait for it, so that a stop that
    // comes at once (the broker refused) cannot leave the thread listening for ever.
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ioxd::logLine(std::string("web face at ") + (tls ? "https://" : "http://") + where + "/");
    if (!tls && !ioxd::isLoopback(http.address))
        ioxd::logLine("the web face speaks plain HTTP beyond this machine (--http-insecure): its password goes in clear");
    return {};
}

void WebFace::stop()
{
    m_stopping = true;
    m_feed.close();
    if (m_server)
        m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

void WebFace::route()
{
    httplib::Server& server = *m_server;
    server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    server.set_payload_max_length(kMaxImage);
    server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        return refused(request, response) ? httplib::Server::HandlerResponse::Handled
                                          : httplib::Server::HandlerResponse::Unhandled;
    });
    // The page: its files as built in, kept by the browser only as long as it takes to ask again.
    server.Get(R"(/(|index\.html|app\.js|style\.css))", [](const httplib::Request& request, httplib::Response& response) {
        const std::string name = request.matches[1].length() ? std::string(request.matches[1]) : "index.html";
        const std::string_view bytes = *webFile(name);
        const char* type = name.ends_with(".js") ? "text/javascript" : name.ends_with(".css") ? "text/css" : "text/html";
        response.set_header("Cache-Control", "no-cache");
        response.set_header("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'");
        response.set_header("X-Content-Type-Options", "nosniff");
        response.set_content(std::string(bytes), std::string(type) + "; charset=utf-8");
    });
    server.Get("/favicon.ico", [](const httplib::Request&, httplib::Response& response) { response.status = 204; });
    server.Get("/api/models", [](const httplib::Request&, httplib::Response& response) {
        nlohmann::ordered_json models = nlohmann::ordered_json::array();
        for (const boxes::Model& model : boxes::knownModels())
            models.push_back(boxes::modelJson(model));
        response.set_content(models.dump(), "application/json");
    });
    server.Get("/api/boxes", [this](const httplib::Request&, httplib::Response& response) {
        std::string json = "[";
        for (const auto& box : m_feed.all())
            json += (json.size() > 1 ? "," : "") + box;
        response.set_content(json + "]", "application/json");
    });
    server.Get(R"(/api/boxes/([^/]+))", [this](const httplib::Request& request, httplib::Response& response) {
        if (const auto box = m_feed.box(request.matches[1]))
            response.set_content(*box, "application/json");
        else
            answer(response, 404, "no box with serial number " + std::string(request.matches[1]));
    });
    server.Post(R"(/api/boxes/([^/]+)/firmware)",
                [this](const httplib::Request& request, httplib::Response& response) { firmware(request, response); });
    server.Post(R"(/api/boxes/([^/]+)/(.+))",
                [this](const httplib::Request& request, httplib::Response& response) { command(request, response); });
    server.Get("/api/events", [this](const httplib::Request&, httplib::Response& response) { events(response); });
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty())
            answer(response, response.status, response.status == 413 ? "request too large" : "no such resource");
    });
}

bool WebFace::refused(const httplib::Request& request, httplib::Response& response) const
{
    const ioxd::HttpOptions& http = m_options.http;
    // A page elsewhere could reach a loopback daemon through a name it rebound to 127.0.0.1:
    // only this daemon's own names are served.
    const std::string host = hostOf(request.get_header_value("Host"));
    const bool ours = host == lower(http.address) || host == "localhost" ||
                      std::any_of(http.hostNames.begin(), http.hostNames.end(),
                                  [&](const std::string& name) { return lower(name) == host; });
    if (!ours) {
        answer(response, 403, "Host \"" + request.get_header_value("Host") + "\" is not this daemon's");
        return true;
    }
    if (request.method != "GET" && request.method != "HEAD") {
        const std::string origin = request.get_header_value("Origin");
        const std::string scheme = http.tlsCert.empty() ? "http://" : "https://";
        if ((!origin.empty() && lower(origin) != scheme + lower(request.get_header_value("Host"))) ||
            request.get_header_value("Sec-Fetch-Site") == "cross-site") {
            answer(response, 403, "cross-site request refused");
            return true;
        }
    }
    std::string credentials = request.get_header_value("Authorization");
    if (lower(credentials.substr(0, 6)) == "basic ")
        credentials.replace(0, 6, "Basic ");  // the scheme's name in any case
    if (!http.password.empty() && !sameSecret(credentials, "Basic " + base64(http.user + ":" + http.password))) {
        response.set_header("WWW-Authenticate", "Basic realm=\"ioxd\", charset=\"UTF-8\"");
        answer(response, 401, "credentials needed");
        return true;
    }
    // A command's body is refused before it is read (an image's, beyond its own limit, by the
    // library, which reads and drops it so that the client hears the answer).
    if (!request.path.ends_with("/firmware") &&
        request.get_header_value<std::uint64_t>("Content-Length") > boxes::kMaxCommandPayload) {
        answer(response, 413, "request too large");
        return true;
    }
    return false;
}

void WebFace::command(const httplib::Request& request, httplib::Response& response)
{
    const std::string serial = request.matches[1];
    const std::string path = request.matches[2];
    const auto refuse = [&](int status, const std::string& reason) {
        ioxd::logLine("refused POST " + request.path + ": " + reason);
        answer(response, status, reason);
    };
    if (!m_boxes.holds(serial))
        return refuse(404, "no box with serial number " + serial);
    if (m_options.readOnly)
        return refuse(403, "the daemon is read-only");
    if (request.body.size() > boxes::kMaxCommandPayload)
        return refuse(413, "request too large: a command's body is at most " +
                               std::to_string(boxes::kMaxCommandPayload) + " bytes");
    auto parsed = boxes::parseCommandWords(boxes::slashWords(path), request.body);
    if (const auto* refusal = std::get_if<boxes::CommandRefusal>(&parsed))
        return refuse(statusOf(refusal->why), refusal->reason);
    // Answered once the box has carried it out: the caller knows the relay has switched.
    auto done = std::make_shared<std::promise<std::optional<boxes::CommandRefusal>>>();
    auto outcome = done->get_future();
    if (auto refusal = m_boxes.submit(serial, std::get<boxes::BoxCommand>(parsed),
                                      [done](const std::optional<boxes::CommandRefusal>& result) { done->set_value(result); }))
        return refuse(statusOf(refusal->why), refusal->reason);
    if (outcome.wait_for(kAnswerWait) != std::future_status::ready)
        return refuse(503, "the box has not carried the command out yet");
    if (const auto refusal = outcome.get())
        return refuse(statusOf(refusal->why), refusal->reason);
    response.status = 204;
}

namespace {

// An update's progress as events: each phase, then each line the bootloader took.
class UpdateProgressEvents : public firmware::UpdateObserver {
public:
    UpdateProgressEvents(BoxFeed& feed, std::string serial, std::size_t total)
        : m_feed(feed), m_serial(std::move(serial)), m_total(total)
    {
    }
    void phase(firmware::UpdatePhase phase) override
    {
        static const char* const names[] = {"checking the image", "resetting the box", "waiting for the bootloader",
                                            "sending the image", "waiting for the new firmware"};
        m_phase = names[static_cast<int>(phase)];
        m_reset = m_reset || phase == firmware::UpdatePhase::Reset;
        tell();
    }
    void resetSent(bool) override { m_reset = true; }
    // Once the box has been reset, the update goes to its end: a box left in its bootloader
    // is worse than a daemon that stops a few seconds later.
    bool pastReset() const { return m_reset; }
    void lineAnswered(const firmware::UpdateProgress& progress) override
    {
        m_sent = progress.linesSent;
        tell();
    }

private:
    void tell()
    {
        const nlohmann::ordered_json progress = {{"serial", m_serial}, {"phase", m_phase}, {"sent", m_sent},
                                                 {"total", m_total}};
        m_feed.tell({"firmware", progress.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)});
    }
    BoxFeed& m_feed;
    const std::string m_serial;
    const std::size_t m_total;
    std::string m_phase;
    std::size_t m_sent = 0;
    std::atomic<bool> m_reset{false};
};

}  // namespace

void WebFace::firmware(const httplib::Request& request, httplib::Response& response)
{
    const std::string serial = request.matches[1];
    const std::string name = request.get_param_value("name");
    const auto refuse = [&](int status, const std::string& reason) {
        ioxd::logLine(serial + ": firmware update refused: " + reason);
        answer(response, status, reason);
    };
    if (!m_boxes.holds(serial))
        return refuse(404, "no box with serial number " + serial);
    if (m_options.readOnly)
        return refuse(403, "the daemon is read-only");
    // Every check before the box is touched: the name as the operator chose the file, the
    // box's level, then the image itself.
    if (name.empty() || name.find_first_of("/\\") != std::string::npos)
        return refuse(400, "name: the image's file name, such as USB_IO_Firmware_A4.hex, is needed");
    if (const auto refused = firmware::imageNameRefusal(name))
        return refuse(400, firmware::oneLine(*refused));
    const auto box = m_feed.online(serial);
    if (!box)
        return refuse(503, "box is offline or being updated");
    if (const auto refused = firmware::levelRefusal(serial, box->firmware.revision, box->firmware.level,
                                                    box->layout->lowestUpdatableLevel))
        return refuse(400, firmware::oneLine(*refused));
    const firmware::ImageFileResult checked = firmware::checkImageText(request.body, name);
    if (!checked.image)
        return refuse(400, firmware::oneLine(checked.error));

    struct Outcome {
        bool ran = false;
        firmware::UpdateResult result{firmware::UpdateOutcome::Stopped};
        std::string path;
    };
    auto outcome = std::make_shared<Outcome>();
    auto finished = std::make_shared<std::promise<void>>();
    const std::size_t lines = checked.image->lines.size();
    const auto job = [this, outcome, serial, name, lines, text = request.body](USB_IO& io, HidBackend& bus) {
        UpdateProgressEvents events(m_feed, serial, lines);
        firmware::FirmwareUpdate update(bus, events, [](std::chrono::milliseconds pause) {
            std::this_thread::sleep_for(pause);
        });
        update.setStopRequest([this, &events] { return m_stopping && !events.pastReset(); });
        outcome->ran = true;
        outcome->path = io.GetUSBDeviceName();
        if (update.checkImage(text, name))
            outcome->result = update.run(io);
    };
    if (const auto refused = m_boxes.hold(serial, job, [finished] { finished->set_value(); }))
        return refuse(statusOf(refused->why), refused->reason);
    ioxd::logLine(serial + ": firmware update from " + name + " (" + std::to_string(lines) + " lines)");
    if (finished->get_future().wait_for(kUpdateWait) != std::future_status::ready)
        return refuse(503, "the update has not ended yet");
    if (!outcome->ran)
        return refuse(503, "box went offline before the update began");
    if (outcome->result.outcome != firmware::UpdateOutcome::Finished) {
        const std::string reason =
            firmware::updateFailedHeading() + ": " + firmware::outcomeReason(outcome->result, lines, outcome->path);
        ioxd::logLine(serial + ": firmware update failed: " + reason);
        return answer(response, 500, reason);
    }
    ioxd::logLine(serial + ": firmware updated from " + name);
    const nlohmann::json done = {{"outcome", "updated from " + name + ", " +
                                                 std::to_string(outcome->result.linesSent) + " lines"}};
    response.set_content(done.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

void WebFace::events(httplib::Response& response)
{
    auto subscription = m_feed.subscribe(kMaxFollowers);
    if (!subscription)
        return answer(response, 503, "too many clients follow the events");
    response.set_header("Cache-Control", "no-cache");
    response.set_chunked_content_provider(
        "text/event-stream",
        [subscription](std::size_t, httplib::DataSink& sink) {
            auto text = subscription->next(kKeepAlive, kBatchGap);
            if (!text) {
                sink.done();
                return true;
            }
            if (text->empty())
                *text = ": still here\n\n";
            return sink.write(text->data(), text->size());
        },
        [this, subscription](bool) { m_feed.unsubscribe(subscription); });
}

}  // namespace iox::web
