// ioxd on loopback, against a mosquitto broker of its own: command published -> request
// on the box's wire; input line flipped -> state at a subscriber; the poll rate of eight
// boxes answering after 1 ms against one alone; the bridge's CPU time and memory.
#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "bench_support.h"
#include "boxes/tracing_backend.h"
#include "bridge.h"
#include "daemon.h"
#include "device/sim/sim_backend.h"
#include "mqtt_fixture.h"

namespace {

using namespace iox;
using namespace iox::mqtt;
using namespace iox::mqtt::test;
using Clock = std::chrono::steady_clock;

Options options(int port)
{
    Options options;
    options.host = "127.0.0.1";
    options.port = port;
    return options;
}

double percentile(std::vector<double> values, double at)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, static_cast<std::size_t>(at * values.size()))];
}

void latencyCounters(benchmark::State& state, const std::vector<double>& us)
{
    state.counters["median_us"] = percentile(us, 0.5);
    state.counters["p99_us"] = percentile(us, 0.99);
}

void CommandToWire(benchmark::State& state)
{
    Broker broker(BrokerKind::Plain);
    sim::SimBackend bus;
    bus.addBox({});
    std::mutex mutex;
    std::condition_variable seen;
    std::optional<Clock::time_point> at;
    boxes::TracingBackend traced(bus, [&](boxes::Direction direction, const std::string&, const Report& report) {
        if (direction == boxes::Direction::Out && report[1] == cmd::SetRelay) {
            std::lock_guard held(mutex);
            at = Clock::now();
            seen.notify_all();
        }
    });
    ioxd::Daemon bridge(options(broker.port()), traced);
    bridge.start();
    Client client(broker.port(), "iox/10001/availability");
    client.waitFor("iox/10001/availability", "online");
    std::vector<double> us;
    bool on = false;
    for (auto _ : state) {
        std::unique_lock held(mutex);
        at.reset();
        held.unlock();
        const auto start = Clock::now();
        client.publish("iox/10001/relay/3/set", (on = !on) ? "ON" : "OFF");
        held.lock();
        seen.wait_for(held, std::chrono::seconds(5), [&] { return at.has_value(); });
        const double seconds = std::chrono::duration<double>(at.value_or(Clock::now()) - start).count();
        state.SetIterationTime(seconds);
        us.push_back(seconds * 1e6);
    }
    latencyCounters(state, us);
}
BENCHMARK(CommandToWire)->Iterations(300)->UseManualTime()->Unit(benchmark::kMicrosecond);

void ChangeToSubscriber(benchmark::State& state)
{
    Broker broker(BrokerKind::Plain);
    sim::SimBackend bus;
    bus.addBox({"IOX-MODEL-D", "10001"});
    Report asInput{};
    asInput[1] = cmd::SetByteAAsInput;
    bus.box(0).answer(asInput);
    ioxd::Daemon bridge(options(broker.port()), bus);
    bridge.start();
    Client client(broker.port(), "iox/10001/port/a/0");
    client.waitFor("iox/10001/port/a/0", "OFF");
    std::vector<double> us;
    bool high = false;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + 37 * (us.size() % 100)));  // any phase of the poll
        high = !high;
        const auto start = Clock::now();
        {
            auto held = bus.lock();
            bus.box(0).setInputA(high ? 1 : 0);
        }
        client.waitFor("iox/10001/port/a/0", high ? "ON" : "OFF", std::chrono::seconds(5));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        us.push_back(seconds * 1e6);
    }
    latencyCounters(state, us);
}
BENCHMARK(ChangeToSubscriber)->Iterations(300)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Polls per second of the slowest box, each answering 1 ms after every request.
void PollRate(benchmark::State& state)
{
    const auto boxes = static_cast<std::size_t>(state.range(0));
    Broker broker(BrokerKind::Plain);
    sim::SimBackend bus;
    for (std::size_t i = 0; i < boxes; ++i) {
        bus.addBox({"IOX-MODEL-C", std::to_string(10001 + i)});
        bus.faults(i).answerDelay = std::chrono::milliseconds(1);
    }
    ioxd::Daemon bridge(options(broker.port()), bus);
    bridge.start();
    Client client(broker.port(), "iox/+/availability");
    for (std::size_t i = 0; i < boxes; ++i)
        client.waitFor("iox/" + std::to_string(10001 + i) + "/availability", "online", std::chrono::seconds(10));
    double slowest = 1e9;
    for (auto _ : state) {
        bus.clearLog();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        slowest = std::min(slowest, iox::bench::slowestPollRate(bus, boxes, seconds));
        state.SetIterationTime(seconds);
    }
    state.counters["polls_per_s"] = slowest;
}
BENCHMARK(PollRate)->Arg(1)->Arg(8)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The executable itself, eight simulated boxes at the default poll interval.
void BridgeCpuAndMemory(benchmark::State& state)
{
    Broker broker(BrokerKind::Plain);
    std::vector<std::string> argv = {IOXD_PATH, "--broker", "127.0.0.1:" + std::to_string(broker.port())};
    for (int i = 0; i < 8; ++i)
        argv.insert(argv.end(), {"--simulate", "IOX-MODEL-C"});
    const pid_t bridge = spawn(argv, "/dev/null");
    Client client(broker.port(), "iox/10008/availability");
    client.waitFor("iox/10008/availability", "online", std::chrono::seconds(10));
    double cpu = 0;
    for (auto _ : state) {
        const double before = iox::bench::cpuSeconds(bridge);
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        cpu = (iox::bench::cpuSeconds(bridge) - before) / seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["cpu_percent_per_box"] = cpu * 100 / 8;
    state.counters["rss_mib"] = static_cast<double>(iox::bench::statusField(bridge, "VmHWM:")) / 1024;
    ::kill(bridge, SIGTERM);
    waitExit(bridge, std::chrono::seconds(5));
}
BENCHMARK(BridgeCpuAndMemory)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    using Runs = std::map<std::string, benchmark::BenchmarkReporter::Run>;
    char buffer[160];
    const auto figures = [&](const char* format, double a, double b, bool met) {
        std::snprintf(buffer, sizeof buffer, format, a, b);
        return std::string(buffer) + iox::bench::verdict(met);
    };
    return iox::bench::runWithGoals(argc, argv, {
        {"command -> wire: median <= 2 ms", [&](const Runs& runs) {
             const double median = iox::bench::counter(runs, "CommandToWire", "median_us");
             return figures("median %.0f us, p99 %.0f us", median, iox::bench::counter(runs, "CommandToWire", "p99_us"), median <= 2000);
         }},
        {"change -> subscriber: median <= 5 ms + 2 ms", [&](const Runs& runs) {
             const double median = iox::bench::counter(runs, "ChangeToSubscriber", "median_us");
             return figures("median %.0f us, p99 %.0f us", median, iox::bench::counter(runs, "ChangeToSubscriber", "p99_us"), median <= 7000);
         }},
        {"8 boxes after 1 ms: each >= 90 % of one box", [&](const Runs& runs) {
             const double one = iox::bench::counter(runs, "PollRate/1", "polls_per_s");
             const double eight = iox::bench::counter(runs, "PollRate/8", "polls_per_s");
             return figures("one %.0f polls/s, slowest of eight %.0f polls/s", one, eight, eight >= 0.9 * one);
         }},
        {"bridge: RSS < 20 MiB, CPU <= 5 % a box", [&](const Runs& runs) {
             const double rss = iox::bench::counter(runs, "BridgeCpuAndMemory", "rss_mib");
             const double cpu = iox::bench::counter(runs, "BridgeCpuAndMemory", "cpu_percent_per_box");
             return figures("RSS %.1f MiB, CPU %.2f %% of a core per box", rss, cpu, rss < 20 && cpu <= 5);
         }},
    });
}
