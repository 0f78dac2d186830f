// ioxd's web face on loopback: a POST -> its request on the box's wire; an input line
// flipped -> its event at a client of /api/events; the poll rate of eight boxes followed by
// fifty event clients against one box alone; the ioxd executable's memory and idle CPU time.
// Every server listens on 127.0.0.1 only, on a port picked here.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "bench_support.h"
#include "boxes/tracing_backend.h"
#include "daemon.h"
#include "device/sim/sim_backend.h"
#include "mqtt_fixture.h"

namespace {

using namespace iox;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Web face only, on loopback, at the default poll interval.
ioxd::Options webOptions(int port)
{
    ioxd::Options options;
    options.mqtt = false;
    options.http.address = "127.0.0.1";
    options.http.port = port;
    return options;
}

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// Until GET /api/boxes shows that many boxes online (or 10 s went by).
bool waitOnline(int port, std::size_t boxes)
{
    httplib::Client client("127.0.0.1", port);
    for (const auto until = Clock::now() + 10s; Clock::now() < until; std::this_thread::sleep_for(10ms)) {
        const auto got = client.Get("/api/boxes");
        if (got && got->status == 200 && occurrences(got->body, "\"online\":true") >= boxes)
            return true;
    }
    return false;
}

// A number field of the box JSON, -1 when absent.
int field(const std::string& json, const std::string& key)
{
    const auto box = nlohmann::json::parse(json, nullptr, false);
    return box.is_object() ? box.value(key, -1) : -1;
}

// CPU time of one thread of this process: the scheduler's own count, in nanoseconds.
double threadCpuSeconds(const std::string& tid)
{
    std::ifstream in("/proc/self/task/" + tid + "/schedstat");
    double ns = 0;
    in >> ns;
    return ns / 1e9;
}

double processCpuSeconds()
{
    double seconds = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        seconds += threadCpuSeconds(task.path().filename().string());
    return seconds;
}

// A client of /api/events on a thread of its own, handing each event's data on as it comes.
class EventClient {
public:
    using Handler = std::function<void(const std::string& data)>;

    EventClient(int port, Handler handler) : m_client("127.0.0.1", port), m_handler(std::move(handler))
    {
        m_client.set_read_timeout(60s);
        m_thread = std::thread([this] { run(); });
    }
    ~EventClient()
    {
        m_client.stop();
        m_thread.join();
    }
    bool ended() const { return m_ended; }
    pid_t thread() const { return m_tid; }

private:
    void run()
    {
        m_tid = ::gettid();
        std::string buffer;
        m_client.Get("/api/events", [&](const char* data, std::size_t size) {
            buffer.append(data, size);
            for (auto end = buffer.find("\n\n"); end != std::string::npos; end = buffer.find("\n\n")) {
                const std::string block = buffer.substr(0, end);
                buffer.erase(0, end + 2);
                if (const auto at = block.find("data: "); at != std::string::npos)
                    m_handler(block.substr(at + 6, block.find('\n', at) - at - 6));
            }
            return true;
        });
        m_ended = true;
    }

    httplib::Client m_client;
    Handler m_handler;
    std::atomic<bool> m_ended = false;
    std::atomic<pid_t> m_tid = 0;
    std::thread m_thread;
};

double percentile(std::vector<double> values, double at)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, static_cast<std::size_t>(at * values.size()))];
}

void latencyCounters(benchmark::State& state, const std::vector<double>& us, const std::string& prefix = "")
{
    state.counters[prefix + "median_us"] = percentile(us, 0.5);
    state.counters[prefix + "p99_us"] = percentile(us, 0.99);
}

// Port A of an IOX-MODEL-D reads its input lines once the box has been told so, as its own
// start-up leaves it.
void inputsOnA(sim::SimBackend& bus, std::size_t box)
{
    Report asInput{};
    asInput[1] = cmd::SetByteAAsInput;
    auto held = bus.lock();
    bus.box(box).answer(asInput);
}

// From the POST's start to the Set_Relay request on the box's wire; also to its 204. The
// client: a new connection for every POST (as curl makes); one kept alive with TCP_NODELAY
// (as curl and browsers set it); one kept alive without it.
enum ClientKind : int { NewConnection, KeptAlive, KeptAliveNagle };

void PostToWire(benchmark::State& state)
{
    const auto kind = static_cast<ClientKind>(state.range(0));
    const int port = mqtt::test::freePort();
    sim::SimBackend bus;
    bus.addBox({});
    std::mutex mutex;
    std::optional<Clock::time_point> at;
    boxes::TracingBackend traced(bus, [&](boxes::Direction direction, const std::string&, const Report& report) {
        if (direction == boxes::Direction::Out && report[1] == cmd::SetRelay) {
            std::lock_guard held(mutex);
            at = Clock::now();
        }
    });
    ioxd::Daemon daemon(webOptions(port), traced);
    if (daemon.start().code != ioxd::Exit::Ok || !waitOnline(port, 1)) {
        state.SkipWithError("the web face did not start");
        return;
    }
    httplib::Client client("127.0.0.1", port);
    client.set_keep_alive(kind != NewConnection);
    client.set_tcp_nodelay(kind != KeptAliveNagle);
    std::vector<double> wire, answered;
    bool on = false;
    for (auto _ : state) {
        {
            std::lock_guard held(mutex);
            at.reset();
        }
        const auto start = Clock::now();
        const auto got = client.Post("/api/boxes/10001/relay/3", (on = !on) ? "ON" : "OFF", "text/plain");
        const auto end = Clock::now();
        std::lock_guard held(mutex);
        if (!got || got->status != 204 || !at) {
            state.SkipWithError("the POST was not carried out");
            break;
        }
        const double seconds = std::chrono::duration<double>(*at - start).count();
        state.SetIterationTime(seconds);
        wire.push_back(seconds * 1e6);
        answered.push_back(std::chrono::duration<double>(end - start).count() * 1e6);
    }
    latencyCounters(state, wire);
    latencyCounters(state, answered, "answer_");
}
BENCHMARK(PostToWire)->ArgName("client")->Arg(NewConnection)->Arg(KeptAlive)->Iterations(300)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(PostToWire)->ArgName("client")->Arg(KeptAliveNagle)->Iterations(50)->UseManualTime()->Unit(benchmark::kMicrosecond);

// From flipping input line A0 to the state event that shows it at a client, at the default
// poll interval (5 ms), the box answering at once or 1 ms after each request.
void ChangeToEvent(benchmark::State& state)
{
    const int port = mqtt::test::freePort();
    sim::SimBackend bus;
    bus.addBox({"IOX-MODEL-D", "10001"});
    bus.faults(0).answerDelay = std::chrono::milliseconds(state.range(0));
    inputsOnA(bus, 0);
    ioxd::Daemon daemon(webOptions(port), bus);
    if (daemon.start().code != ioxd::Exit::Ok) {
        state.SkipWithError("the web face did not start");
        return;
    }
    std::mutex mutex;
    std::condition_variable arrived;
    int levelA = -1;
    Clock::time_point at;
    EventClient client(port, [&](const std::string& data) {
        const auto now = Clock::now();
        std::lock_guard held(mutex);
        if (data.find("\"serial\":\"10001\"") != std::string::npos && field(data, "A") >= 0) {
            levelA = field(data, "A");
            at = now;
            arrived.notify_all();
        }
    });
    const auto shows = [&](int level) {
        std::unique_lock held(mutex);
        return arrived.wait_for(held, 5s, [&] { return levelA == level; });
    };
    if (!shows(0)) {
        state.SkipWithError("no first state event");
        return;
    }
    std::vector<double> us;
    int level = 0;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + 50 * (us.size() % 100)));  // any phase of the poll
        level ^= 1;
        const auto start = Clock::now();
        {
            auto held = bus.lock();
            bus.box(0).setInputA(static_cast<std::uint8_t>(level));
        }
        if (!shows(level)) {
            state.SkipWithError("the change never came as an event");
            break;
        }
        std::lock_guard held(mutex);
        const double seconds = std::chrono::duration<double>(at - start).count();
        state.SetIterationTime(seconds);
        us.push_back(seconds * 1e6);
    }
    latencyCounters(state, us);
}
BENCHMARK(ChangeToEvent)->ArgName("answer_ms")->Arg(0)->Arg(1)->Iterations(300)->UseManualTime()->Unit(benchmark::kMicrosecond);

// CPU seconds of these threads of this process.
double threadsCpuSeconds(const std::vector<std::unique_ptr<EventClient>>& clients)
{
    double seconds = 0;
    for (const auto& client : clients)
        seconds += threadCpuSeconds(std::to_string(client->thread()));
    return seconds;
}

// Polls per second of the slowest box, each answering 1 ms after every request, while input
// line A0 of every box flips every flip_ms; the event clients follow every change. Beside it
// the cores this process kept busy: the event clients' threads, and all the rest (the daemon).
void PollRate(benchmark::State& state)
{
    const auto boxes = static_cast<std::size_t>(state.range(0));
    const auto clients = static_cast<std::size_t>(state.range(1));
    const auto flipEvery = std::chrono::milliseconds(state.range(2));
    const int port = mqtt::test::freePort();
    sim::SimBackend bus;
    for (std::size_t i = 0; i < boxes; ++i) {
        bus.addBox({"IOX-MODEL-D", std::to_string(10001 + i)});
        bus.faults(i).answerDelay = 1ms;
        inputsOnA(bus, i);
    }
    ioxd::Daemon daemon(webOptions(port), bus);
    if (daemon.start().code != ioxd::Exit::Ok || !waitOnline(port, boxes)) {
        state.SkipWithError("the web face did not start");
        return;
    }
    std::atomic<long> events = 0;
    std::vector<std::unique_ptr<EventClient>> followers;
    for (std::size_t i = 0; i < clients; ++i)
        followers.push_back(std::make_unique<EventClient>(port, [&](const std::string&) { ++events; }));
    for (const auto until = Clock::now() + 10s; events < static_cast<long>(clients * boxes) && Clock::now() < until;)
        std::this_thread::sleep_for(10ms);  // every client has had every box's state

    std::atomic<bool> flipping = true;
    std::thread flipper([&] {
        for (std::uint8_t level = 1; flipping; level ^= 1) {
            {
                auto held = bus.lock();
                for (std::size_t i = 0; i < boxes; ++i)
                    bus.box(i).setInputA(level);
            }
            std::this_thread::sleep_for(flipEvery);
        }
    });
    std::this_thread::sleep_for(500ms);
    double slowest = 1e9, delivered = 0, clientCores = 0, restCores = 0, load = 0;
    for (auto _ : state) {
        bus.clearLog();
        const long eventsBefore = events;
        const double processBefore = processCpuSeconds(), clientsBefore = threadsCpuSeconds(followers);
        const auto start = Clock::now();
        std::this_thread::sleep_for(3s);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        delivered = static_cast<double>(events - eventsBefore) / seconds;
        clientCores = (threadsCpuSeconds(followers) - clientsBefore) / seconds;
        restCores = (processCpuSeconds() - processBefore) / seconds - clientCores;
        ::getloadavg(&load, 1);
        auto held = bus.lock();
        slowest = std::min(slowest, iox::bench::slowestPollRate(bus, boxes, seconds));
        state.SetIterationTime(seconds);
    }
    flipping = false;
    flipper.join();
    state.counters["polls_per_s"] = slowest;
    state.counters["events_per_s"] = delivered;  // at all clients together
    state.counters["client_cores"] = clientCores;
    state.counters["daemon_cores"] = restCores;
    state.counters["load"] = load;
    state.counters["clients_let_go"] = static_cast<double>(
        std::count_if(followers.begin(), followers.end(), [](const auto& client) { return client->ended(); }));
}
BENCHMARK(PollRate)
    ->ArgNames({"boxes", "clients", "flip_ms"})
    ->Args({1, 0, 20})
    ->Args({8, 0, 20})
    ->Args({8, 50, 20})
    ->Args({8, 50, 100})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The executable itself, web face only, eight simulated boxes at the default poll interval:
// CPU time over 5 s with no client, then fifty event clients and 200 POSTs for its peak memory.
void DaemonProcess(benchmark::State& state)
{
    constexpr int kBoxes = 8;
    const int port = mqtt::test::freePort();
    std::vector<std::string> argv = {IOXD_PATH, "--no-mqtt", "--http", "127.0.0.1:" + std::to_string(port)};
    for (int i = 0; i < kBoxes; ++i)
        argv.insert(argv.end(), {"--simulate", "IOX-MODEL-C"});
    const pid_t daemon = mqtt::test::spawn(argv, "/dev/null");
    if (!waitOnline(port, kBoxes)) {
        ::kill(daemon, SIGTERM), mqtt::test::waitExit(daemon, 5s);  // SIGKILL after 5 s
        state.SkipWithError("ioxd did not serve its boxes");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        const double before = bench::cpuSeconds(daemon);
        const auto start = Clock::now();
        std::this_thread::sleep_for(5s);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        cpu = (bench::cpuSeconds(daemon) - before) / seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["idle_cpu_percent_per_box"] = cpu * 100 / kBoxes;
    state.counters["idle_rss_mib"] = static_cast<double>(bench::statusField(daemon, "VmRSS:")) / 1024;
    {
        std::atomic<long> events = 0;
        std::vector<std::unique_ptr<EventClient>> followers;
        for (int i = 0; i < 50; ++i)
            followers.push_back(std::make_unique<EventClient>(port, [&](const std::string&) { ++events; }));
        httplib::Client client("127.0.0.1", port);
        client.set_keep_alive(true);
        for (int i = 0; i < 200; ++i)
            client.Post("/api/boxes/" + std::to_string(10001 + i % kBoxes) + "/relay/" + std::to_string(i % 8),
                        i % 16 < 8 ? "ON" : "OFF", "text/plain");
        std::this_thread::sleep_for(1s);
        state.counters["loaded_rss_mib"] = static_cast<double>(bench::statusField(daemon, "VmRSS:")) / 1024;
        state.counters["threads"] = static_cast<double>(bench::statusField(daemon, "Threads:"));
    }
    state.counters["peak_rss_mib"] = static_cast<double>(bench::statusField(daemon, "VmHWM:")) / 1024;
    ::kill(daemon, SIGTERM), mqtt::test::waitExit(daemon, 5s);  // SIGKILL after 5 s
}
BENCHMARK(DaemonProcess)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    using Runs = std::map<std::string, benchmark::BenchmarkReporter::Run>;
    char buffer[200];
    const auto figures = [&](const char* format, double a, double b, double c, bool met) {
        std::snprintf(buffer, sizeof buffer, format, a, b, c);
        return std::string(buffer) + iox::bench::verdict(met);
    };
    return iox::bench::runWithGoals(argc, argv, {
        {"POST -> wire: median <= 2 ms", [&](const Runs& runs) {
             const double fresh = iox::bench::counter(runs, "PostToWire/client:0/", "median_us");
             const double kept = iox::bench::counter(runs, "PostToWire/client:1/", "median_us");
             return figures("median %.0f us (new connection), %.0f us (kept alive), p99 %.0f us", fresh, kept,
                            iox::bench::counter(runs, "PostToWire/client:0/", "p99_us"),
                            fresh > 0 && kept > 0 && std::max(fresh, kept) <= 2000);
         }},
        {"change -> event: median <= 5 ms + 2 ms", [&](const Runs& runs) {
             const double instant = iox::bench::counter(runs, "ChangeToEvent/answer_ms:0", "median_us");
             const double late = iox::bench::counter(runs, "ChangeToEvent/answer_ms:1", "median_us");
             return figures("median %.0f us (instant box), %.0f us (1 ms answers), p99 %.0f us", instant, late,
                            iox::bench::counter(runs, "ChangeToEvent/answer_ms:1", "p99_us"),
                            instant > 0 && late > 0 && std::max(instant, late) <= 7000);
         }},
        {"8 boxes, 50 event clients: each >= 90 % of one", [&](const Runs& runs) {
             const double one = iox::bench::counter(runs, "PollRate/boxes:1/", "polls_per_s");
             const double eight = iox::bench::counter(runs, "PollRate/boxes:8/clients:50/flip_ms:20/", "polls_per_s");
             return figures("one %.0f polls/s, slowest of eight %.0f polls/s = %.1f %%", one, eight,
                            one > 0 ? 100 * eight / one : 0, one > 0 && eight >= 0.9 * one);
         }},
        {"ioxd, web only, 8 boxes: peak RSS < 30 MiB", [&](const Runs& runs) {
             const double peak = iox::bench::counter(runs, "DaemonProcess", "peak_rss_mib");
             return figures("peak %.1f MiB, idle %.1f MiB, 50 clients %.1f MiB", peak,
                            iox::bench::counter(runs, "DaemonProcess", "idle_rss_mib"),
                            iox::bench::counter(runs, "DaemonProcess", "loaded_rss_mib"), peak > 0 && peak < 30);
         }},
        {"ioxd idle: CPU <= 1 % of a core per box", [&](const Runs& runs) {
             const double cpu = iox::bench::counter(runs, "DaemonProcess", "idle_cpu_percent_per_box");
             return figures("%.2f %% of a core per box (%.1f %% for all %.0f)", cpu, cpu * 8, 8,
                            iox::bench::counter(runs, "DaemonProcess", "peak_rss_mib") > 0 && cpu <= 1);
         }},
    });
}
