#include "mqtt_fixture.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <set>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "device/commands.h"

namespace iox::mqtt::test {

namespace {

// Port 0 binds a free port and answers which; any other port answers whether something listens there.
int probe(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{.sin_family = AF_INET, .sin_port = htons(static_cast<std::uint16_t>(port)),
                        .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t size = sizeof address;
    auto* where = reinterpret_cast<sockaddr*>(&address);
    const int answer = port ? ::connect(fd, where, size) == 0
                            : (::bind(fd, where, size), ::getsockname(fd, where, &size), ntohs(address.sin_port));
    ::close(fd);
    return answer;
}

void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

}  // namespace

int freePort() { return probe(0); }

std::vector<Report> writes(const sim::SimBackend& bus, std::size_t box)
{
    static const std::set<int> reads = {cmd::ReadByteA, cmd::ReadByteB, cmd::ReadBit, cmd::ReadRelaysByte,
                                        cmd::ReadModelName, cmd::ReadSn, cmd::GetExtFirmware};
    auto out = bus.requestsTo(box);
    std::erase_if(out, [](const Report& report) { return reads.count(report[1]) > 0; });
    return out;
}

void portAAsInput(sim::SimBackend& bus, std::size_t box, std::uint8_t levels)
{
    auto held = bus.lock();
    bus.box(box).answer(Report{0, cmd::SetByteAAsInput});
    bus.box(box).setInputA(levels);
}

pid_t spawn(const std::vector<std::string>& argv, const std::string& output)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!output.empty() && ::dup2(::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1) == 1)
            ::dup2(1, 2);
        std::vector<char*> args;
        for (const auto& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

int waitExit(pid_t pid, std::chrono::milliseconds timeout)
{
    int status = 0;
    for (const auto until = std::chrono::steady_clock::now() + timeout; ::waitpid(pid, &status, WNOHANG) == 0;) {
        if (std::chrono::steady_clock::now() > until && ::kill(pid, SIGKILL) == 0 && ::waitpid(pid, &status, 0))
            return -1;
        std::this_thread::sleep_for(10ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Broker::Broker(BrokerKind kind) : m_port(freePort())
{
    char dir[] = "/tmp/ioxd-test-XXXXXX";
    m_dir = ::mkdtemp(dir);
    std::ofstream conf(file("broker.conf"));
    // As root, mosquitto would drop to its own user, which cannot read the test's files.
    conf << "listener " << m_port << " 127.0.0.1\nlog_dest none\n" << (::getuid() == 0 ? "user root\n" : "");
    if (kind == BrokerKind::Password)
        run("mosquitto_passwd -c -b " + file("passwords") + " bench secret");
    conf << (kind == BrokerKind::Password ? "allow_anonymous false\npassword_file " + file("passwords") : "allow_anonymous true");
    if (kind == BrokerKind::Tls) {
        for (const std::string stem : {"server", "other"})
            run("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:"
                "127.0.0.1 -keyout " + file(stem + ".key") + " -out " + file(stem + ".pem") + " 2>/dev/null");
        conf << "\ncertfile " << file("server.pem") << "\nkeyfile " << file("server.key");
    }
    conf << "\n";
    conf.close();
    start();
}

Broker::~Broker()
{
    stop();
    run("rm -rf " + m_dir);
}

void Broker::start()
{
    m_pid = spawn({"mosquitto", "-c", file("broker.conf")}, "/dev/null");
    for (int i = 0; i < 300 && !probe(m_port); ++i)
        std::this_thread::sleep_for(10ms);
}

void Broker::stop()
{
    if (m_pid > 0)
        waitExit(m_pid, 0ms);  // kills it
    m_pid = 0;
}

Client::Client(int port, const std::string& subscription)
{
    mosquitto_lib_init();
    m_client = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(m_client, [](mosquitto*, void* self, const mosquitto_message* message) {
        static_cast<Client*>(self)->store(message->topic, {static_cast<const char*>(message->payload),
                                                           static_cast<std::size_t>(message->payloadlen)});
    });
    // The subscription's acknowledgement is recorded as a message on the empty topic.
    mosquitto_subscribe_callback_set(m_client, [](mosquitto*, void* self, int, int, const int*) {
        static_cast<Client*>(self)->store("", "");
    });
    mosquitto_connect(m_client, "127.0.0.1", port, 30);
    mosquitto_subscribe(m_client, nullptr, subscription.c_str(), 1);
    mosquitto_loop_start(m_client);
    waitFor("");
}

Client::~Client()
{
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, false);
    mosquitto_destroy(m_client);
}

void Client::store(const std::string& topic, const std::string& payload)
{
    std::lock_guard held(m_mutex);
    m_last[topic] = payload;
    m_arrived.notify_all();
}

void Client::publish(const std::string& topic, const std::string& payload, bool retain)
{
    mosquitto_publish(m_client, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retain);
}

bool Client::waitFor(const std::string& topic, const std::string& payload, std::chrono::milliseconds timeout)
{
    std::unique_lock held(m_mutex);
    return m_arrived.wait_for(held, timeout, [&] {
        const auto it = m_last.find(topic);
        return it != m_last.end() && (payload.empty() || it->second == payload);
    });
}

std::string Client::last(const std::string& topic)
{
    std::lock_guard held(m_mutex);
    return m_last.count(topic) ? m_last[topic] : std::string();
}

void Client::clear()
{
    std::lock_guard held(m_mutex);
    m_last.clear();
}

}  // namespace iox::mqtt::test
