#pragma once
// What the daemon's tests share: a mosquitto broker on a free loopback port (plain, with a
// password file, or TLS: server.pem its certificate, other.pem one it does not use), an MQTT
// client that records all it receives, free ports, and the writes a simulated box was sent.

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

#include "device/sim/sim_backend.h"

struct mosquitto;

namespace iox::mqtt::test {

using namespace std::chrono_literals;

enum class BrokerKind { Plain, Password, Tls };

class Broker {
public:
    explicit Broker(BrokerKind kind);
    ~Broker();
    void start();  // on the same port as before
    void stop();
    int port() const { return m_port; }
    std::string file(const std::string& name) const { return m_dir + "/" + name; }

private:
    std::string m_dir;
    int m_port = 0;
    pid_t m_pid = 0;
};

class Client {
public:
    explicit Client(int port, const std::string& subscription = "#");
    ~Client();
    void publish(const std::string& topic, const std::string& payload, bool retain = false);
    // Waits until topic's latest payload is payload (or, with an empty payload, any message arrives on it).
    bool waitFor(const std::string& topic, const std::string& payload = {}, std::chrono::milliseconds timeout = 3s);
    std::string last(const std::string& topic);
    void clear();

private:
    void store(const std::string& topic, const std::string& payload);

    mosquitto* m_client;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::map<std::string, std::string> m_last;
};

int freePort();  // on loopback
// Requests that change something on a simulated box: everything but the reads.
std::vector<Report> writes(const sim::SimBackend& bus, std::size_t box);
// An IOX-MODEL-D's port A reads its inputs, as the box's own start-up leaves it.
void portAAsInput(sim::SimBackend& bus, std::size_t box, std::uint8_t levels);

// Runs a program with arguments, its output and errors into the file output if one is named;
// returns its process id.
pid_t spawn(const std::vector<std::string>& argv, const std::string& output = {});
// Its exit code, or -1 when it did not end within timeout (it is then killed).
int waitExit(pid_t pid, std::chrono::milliseconds timeout);

}  // namespace iox::mqtt::test
