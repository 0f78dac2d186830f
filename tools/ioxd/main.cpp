// ioxd: the boxes served over MQTT and the web, until SIGTERM or SIGINT.
#include <csignal>
#include <cstdio>
#include <memory>

#include "daemon.h"
#include "boxes/backend_stack.h"
#include "log.h"

int main(int argc, char** argv)
{
    using namespace iox::ioxd;
    const ParsedOptions parsed = parseOptions(argc, argv);
    if (!parsed.options) {
        if (parsed.code == 0)
            std::printf("%s\n", parsed.message.c_str());
        else
            logLine(parsed.message);
        return parsed.code;
    }
    // Every thread started from here on leaves the two signals to the wait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    iox::boxes::StackOptions stackOptions;
    stackOptions.program = "ioxd";
    stackOptions.simulated = parsed.options->simulate;
    if (!parsed.options->recordPath.empty())
        stackOptions.record = parsed.options->recordPath;
    if (!parsed.options->tracePath.empty()) {
        auto trace = iox::boxes::traceIntoFile(parsed.options->tracePath);
        if (!trace) {
            logLine("cannot write the trace file " + parsed.options->tracePath);
            return static_cast<int>(Exit::Failure);
        }
        stackOptions.trace = std::move(*trace);
    }
    auto built = iox::boxes::BackendStack::build(std::move(stackOptions));
    if (!built.stack) {
        logLine(built.error);
        return static_cast<int>(Exit::Failure);
    }
    Daemon daemon(*parsed.options, built.stack->bus());
    if (const StartResult started = daemon.start(); started.code != Exit::Ok) {
        logLine(started.message);
        return static_cast<int>(started.code);
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    logLine(std::string("stopping on ") + (signal == SIGTERM ? "SIGTERM" : "SIGINT"));
    daemon.stop();
    return 0;
}
