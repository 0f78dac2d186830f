// iox-demo: the application over simulated boxes, for anyone without the hardware.

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <memory>

#include "app/application.h"
#include "app/demo_options.h"
#include "app/info_options.h"
#include "app/simbox/sim_box_window.h"
#include "device/record/recording_backend.h"
#include "device/record/replay_backend.h"
#include "device/sim/report_trace.h"
#include "device/sim/sim_backend.h"

int main(int argc, char** argv)
{
    if (const auto status = iox::app::answerInfoOption(argc, argv, "iox-demo", iox::demo::usage().c_str()))
        return *status;
    QApplication application(argc, argv);  // takes Qt's own options out of argv first
    const QStringList qtArgs = QApplication::arguments();
    std::vector<std::string> args;
    for (qsizetype i = 1; i < qtArgs.size(); ++i)
        args.push_back(qtArgs[i].toStdString());

    const auto parsed = iox::demo::parseOptions(args);
    if (!parsed.options) {
        std::fprintf(stderr, "iox-demo: %s\n%s", parsed.error.c_str(), iox::demo::usage().c_str());
        return 2;
    }
    if (parsed.options->help) {
        std::fputs(iox::demo::usage().c_str(), stdout);
        return 0;
    }

    if (parsed.options->replayPath) {
        iox::record::ReplayOptions replayOptions;
        replayOptions.keepTiming = parsed.options->replayTiming;
        replayOptions.onStop = [](const std::string& report) { std::fprintf(stderr, "iox-demo: %s", report.c_str()); };
        auto replay = iox::record::openReplay(*parsed.options->replayPath, std::move(replayOptions));
        if (!replay.backend) {
            std::fprintf(stderr, "iox-demo: %s\n", replay.error.c_str());
            return 2;
        }
        return iox::app::run(*replay.backend);
    }

    iox::sim::SimBackend bus;
    for (const auto& box : parsed.options->boxes) {
        const std::size_t index = bus.addBox(box);
        // A real box answers within a USB frame; so does this one, which also keeps the
        // panel's polling from spinning a core.
        bus.faults(index).answerDelay = std::chrono::milliseconds(1);
    }
    std::unique_ptr<iox::sim::ReportTrace> trace;
    if (parsed.options->tracePath) {
        trace = std::make_unique<iox::sim::ReportTrace>(*parsed.options->tracePath);
        if (!trace->ok()) {
            std::fprintf(stderr, "iox-demo: cannot write the trace file \"%s\"\n", parsed.options->tracePath->c_str());
            return 2;
        }
        bus.setTraceSink([&trace](iox::sim::Direction d, const std::string& sn, const iox::Report& r) {
            trace->write(d, sn, r);
        });
    }
    // Declared after the bus: it reads the boxes until it is gone.
    std::unique_ptr<iox::simbox::SimBoxWindow> simWindow;
    if (parsed.options->simWindow) {
        simWindow = std::make_unique<iox::simbox::SimBoxWindow>(bus);
        simWindow->placeBesidePanel();
        simWindow->show();
    }
    if (parsed.options->recordPath) {
        auto recording = iox::record::wrapForRecording(bus, *parsed.options->recordPath, "iox-demo");
        if (!recording.backend) {
            std::fprintf(stderr, "iox-demo: %s\n", recording.error.c_str());
            return 2;
        }
        return iox::app::run(*recording.backend);
    }
    return iox::app::run(bus);
}
