// The whole program: iox-demo started as an operator starts it, with its report trace on.
// Start-up is the time from starting the process to the first poll request in the trace;
// memory is the process's resident set after 10 s of polling.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "bench_support.h"
#include "device/commands.h"

namespace {

using Clock = std::chrono::steady_clock;

// Resident set of a process in KiB, from /proc; 0 when it cannot be read.
long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

// Whether the trace holds a poll request yet: an "out" line whose command byte is ReadByteA.
bool tracedPoll(const std::string& path)
{
    char code[3];
    std::snprintf(code, sizeof code, "%02x", iox::cmd::ReadByteA);
    std::ifstream trace(path);
    std::string direction, serial, reportId, command;
    std::string line;
    while (std::getline(trace, line)) {
        std::istringstream fields(line);
        if (fields >> direction >> serial >> reportId >> command && direction == "out" && command == code)
            return true;
    }
    return false;
}

void DemoStartAndMemory(benchmark::State& state)
{
    const std::string trace = "/tmp/iox-demo-bench-" + std::to_string(getpid()) + ".trace";
    double startup = -1, rss = 0;
    for (auto _ : state) {
        std::remove(trace.c_str());
        const auto start = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execl(IOX_DEMO_PATH, IOX_DEMO_PATH, "--trace", trace.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        startup = -1;
        while (Clock::now() - start < std::chrono::seconds(10)) {
            if (startup < 0 && tracedPoll(trace))
                startup = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            std::this_thread::sleep_for(std::chrono::milliseconds(startup < 0 ? 1 : 100));
        }
        rss = double(residentKiB(pid)) / 1024.0;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::remove(trace.c_str());
    if (startup < 0)
        state.SkipWithError("iox-demo sent no poll request within 10 s");
    state.counters["startup_ms"] = startup;
    state.counters["rss_MiB"] = rss;
}
BENCHMARK(DemoStartAndMemory)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1)->Repetitions(3);

std::string judge(const std::map<std::string, benchmark::BenchmarkReporter::Run>& m)
{
    const auto it = m.find("DemoStartAndMemory/iterations:1/repeats:3/manual_time");
    if (it == m.end())
        return "not run";
    const double startup = it->second.counters.at("startup_ms");
    const double rss = it->second.counters.at("rss_MiB");
    char text[200];
    std::snprintf(text, sizeof text, "first tick after %.0f ms (goal < 300 ms); %.1f MiB resident after 10 s (goal < 60 MiB)%s",
                  startup, rss, iox::bench::verdict(startup < 300 && rss < 60).c_str());
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "offscreen", 1);
    return iox::bench::runWithGoals(argc, argv, {{"iox-demo start-up and memory", judge}});
}
