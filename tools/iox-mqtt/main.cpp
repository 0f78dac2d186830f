// iox-mqtt: the boxes on an MQTT broker, until SIGTERM or SIGINT.
#include <csignal>
#include <cstdio>
#include <memory>

#include "bridge.h"
#include "device/hidapi_backend.h"
#include "device/record/recording_backend.h"
#include "device/sim/sim_backend.h"
#include "log.h"

int main(int argc, char** argv)
{
    using namespace iox::mqtt;
    const ParsedOptions parsed = parseOptions(argc, argv);
    if (!parsed.options) {
        std::fprintf(parsed.code == 0 ? stdout : stderr, "%s\n", parsed.message.c_str());
        return parsed.code;
    }
    // Every thread started from here on leaves the two signals to the wait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::unique_ptr<iox::HidBackend> bus;
    if (parsed.options->simulate.empty()) {
        bus = std::make_unique<iox::HidapiBackend>();
    } else {
        auto simulated = std::make_unique<iox::sim::SimBackend>();
        for (const auto& box : parsed.options->simulate)
            simulated->addBox(box);
        bus = std::move(simulated);
    }
    std::unique_ptr<iox::HidBackend> recording;
    if (!parsed.options->recordPath.empty()) {
        auto wrapped = iox::record::wrapForRecording(*bus, parsed.options->recordPath, "iox-mqtt");
        if (!wrapped.backend) {
            logLine("iox-mqtt: " + wrapped.error);
            return static_cast<int>(Exit::Failure);
        }
        recording = std::move(wrapped.backend);
    }
    Bridge bridge(*parsed.options, recording ? *recording : *bus);
    if (const StartResult started = bridge.start(); started.code != Exit::Ok) {
        logLine(started.message);
        return static_cast<int>(started.code);
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    logLine(std::string("stopping on ") + (signal == SIGTERM ? "SIGTERM" : "SIGINT"));
    bridge.stop();
    return 0;
}
