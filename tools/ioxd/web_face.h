#pragma once
// The web face: the boxes as a REST API with JSON, their changes as Server-Sent Events, the
// firmware update of a box from an uploaded image, and the page (web/) that shows them.
// The requests are guarded before they are served: the Host they name, the Origin a browser
// sends with a command, the password where one is set, and their size.

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "box_feed.h"
#include "options.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace iox::web {

class WebFace : public boxes::BoxFace {
public:
    WebFace(const ioxd::Options& options, boxes::ServedBoxes& boxes);
    ~WebFace() override;  // stop()
    WebFace(const WebFace&) = delete;
    WebFace& operator=(const WebFace&) = delete;

    // Listens on the address (exit 1 when it cannot); serves from a thread of its own.
    ioxd::StartResult start();
    void stop();

    std::unique_ptr<boxes::BoxObserver> observe(const std::string& serial) override;

private:
    void route();
    // Nothing but an answer when the request may not be served.
    bool refused(const httplib::Request& request, httplib::Response& response) const;
    void command(const httplib::Request& request, httplib::Response& response);
    void firmware(const httplib::Request& request, httplib::Response& response);
    void events(httplib::Response& response);

    const ioxd::Options& m_options;
    boxes::ServedBoxes& m_boxes;
    BoxFeed m_feed;
    std::unique_ptr<httplib::Server> m_server;
    std::atomic<bool> m_stopping{false};  // an update under way stops where it safely can
    std::thread m_thread;
};

}  // namespace iox::web
