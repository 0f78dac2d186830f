#pragma once
// What the benchmarks share: an in-memory backend that answers at once, a main that runs
// the benchmarks five times and prints, beside Google Benchmark's own table, the medians
// each goal is judged by, and the CPU time and memory of a process they started.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "device/commands.h"
#include "device/hid_backend.h"

namespace iox::bench {

// One box that echoes every request at once, among `others` HID interfaces that are not
// boxes. Counts the calls USB_IO makes.
class InstantBackend : public HidBackend {
public:
    explicit InstantBackend(int boxes = 1, int others = 0, int boxEvery = 1)
    {
        int box = 0;
        for (int i = 0; box < boxes || i < boxes + others; ++i) {
            const bool isBox = box < boxes && i % boxEvery == boxEvery - 1;
            m_interfaces.push_back({"hid" + std::to_string(i), isBox ? kBoxVendorId : std::uint16_t(0x046D),
                                    isBox ? kBoxProductId : std::uint16_t(0xC31C)});
            if (isBox)
                m_serials["hid" + std::to_string(i)] = "SN" + std::to_string(box++);
        }
    }
    std::vector<HidInterface> enumerate() override
    {
        ++enumerates;
        return m_interfaces;
    }
    HidHandle open(const std::string& path) override
    {
        ++opens;
        if (!m_serials.count(path))
            ++nonBoxOpens;
        m_open[++m_next] = path;
        return m_next;
    }
    bool write(HidHandle handle, const Report& report) override
    {
        if (!m_open.count(handle))
            return false;
        m_answer = Report{};
        m_answer[1] = report[1];
        if (report[1] == cmd::ReadSn) {
            const std::string& sn = m_serials[m_open[handle]];
            for (std::size_t i = 0; i < sn.size(); ++i)
                m_answer[2 + i] = static_cast<std::uint8_t>(sn[i]);
        }
        return true;
    }
    bool read(HidHandle, Report& report, std::chrono::milliseconds) override
    {
        report = m_answer;
        return true;
    }
    void close(HidHandle handle) override { m_open.erase(handle); }

    long enumerates = 0, opens = 0, nonBoxOpens = 0;

private:
    std::vector<HidInterface> m_interfaces;
    std::map<std::string, std::string> m_serials;
    std::map<HidHandle, std::string> m_open;
    HidHandle m_next = 0;
    Report m_answer{};
};

// A goal judged after the run from the medians of the named benchmarks.
struct Goal {
    std::string label;
    std::function<std::string(const std::map<std::string, benchmark::BenchmarkReporter::Run>&)> judge;
};

// Keeps the median run of every benchmark while the console shows them.
class MedianKeeper : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.str()] = run;
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, Run> medians;
};

// Nanoseconds per iteration of a median run (real time).
inline double nsPerIteration(const benchmark::BenchmarkReporter::Run& run)
{
    return run.GetAdjustedRealTime() * (run.time_unit == benchmark::kMicrosecond   ? 1e3
                                        : run.time_unit == benchmark::kMillisecond ? 1e6
                                        : run.time_unit == benchmark::kSecond      ? 1e9
                                                                                   : 1.0);
}

inline int runWithGoals(int argc, char** argv, const std::vector<Goal>& goals)
{
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5", aggregates = "--benchmark_report_aggregates_only=true";
    bool custom = false;
    for (int i = 1; i < argc; ++i)
        custom |= std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    if (!custom) {
        args.push_back(repetitions.data());
        args.push_back(aggregates.data());
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    MedianKeeper keeper;
    benchmark::RunSpecifiedBenchmarks(&keeper);
    std::printf("\n%-48s %s\n", "goal", "median figures (judged)");
    for (const auto& goal : goals)
        std::printf("%-48s %s\n", goal.label.c_str(), goal.judge(keeper.medians).c_str());
    benchmark::Shutdown();
    return 0;
}

inline std::string verdict(bool met) { return met ? "  [met]" : "  [NOT MET]"; }

// User and system time of a process, all its threads together, in seconds.
inline double cpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)
        fields >> skip;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// A number of /proc/PID/status ("VmHWM:" in KiB, "Threads:"); 0 when there is none.
inline long statusField(pid_t pid, const std::string& key)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    return 0;
}

// The counter `key` of the first run whose name begins with `name`; 0 when there is none.
inline double counter(const std::map<std::string, benchmark::BenchmarkReporter::Run>& runs, const std::string& name,
                      const std::string& key)
{
    for (const auto& [runName, run] : runs)
        if (runName.rfind(name, 0) == 0 && run.counters.count(key))
            return run.counters.at(key).value;
    return 0;
}

// Polls per second of the slowest of the first `boxes` boxes of a simulated bus over `seconds`,
// a poll counted by its last request, the relay byte's read.
template <class Bus>
double slowestPollRate(const Bus& bus, std::size_t boxes, double seconds)
{
    double slowest = 1e9;
    for (std::size_t i = 0; i < boxes; ++i) {
        const auto requests = bus.requestsTo(i);
        const auto polls = std::count_if(requests.begin(), requests.end(),
                                         [](const Report& r) { return r[1] == cmd::ReadRelaysByte; });
        slowest = std::min(slowest, static_cast<double>(polls) / seconds);
    }
    return slowest;
}

}  // namespace iox::bench
