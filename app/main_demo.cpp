// iox-demo: the application over simulated boxes, for anyone without the hardware.

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <memory>

#include "app/application.h"
#include "app/demo_options.h"
#include "app/info_options.h"
#include "app/simbox/sim_box_window.h"
#include "boxes/backend_stack.h"
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

    const iox::demo::Options& options = *parsed.options;
    iox::boxes::StackOptions stackOptions;
    stackOptions.program = "iox-demo";
    stackOptions.replay = options.replayPath;
    stackOptions.replayTiming = options.replayTiming;
    stackOptions.onReplayStop = [](const std::string& report) { std::fprintf(stderr, "iox-demo: %s", report.c_str()); };
    stackOptions.simulated = options.boxes;
    // A real box answers within a USB frame; so does a simulated one, which also keeps the
    // panel's polling from spinning a core.
    stackOptions.simulatedAnswerDelay = std::chrono::milliseconds(1);
    stackOptions.record = options.recordPath;
    if (options.tracePath) {
        auto trace = iox::boxes::traceIntoFile(*options.tracePath);
        if (!trace) {
            std::fprintf(stderr, "iox-demo: cannot write the trace file \"%s\"\n", options.tracePath->c_str());
            return 2;
        }
        stackOptions.trace = std::move(*trace);
    }
    auto built = iox::boxes::BackendStack::build(std::move(stackOptions));
    if (!built.stack) {
        std::fprintf(stderr, "iox-demo: %s\n", built.error.c_str());
        return 2;
    }
    // Declared after the stack: it reads the simulated boxes until it is gone.
    std::unique_ptr<iox::simbox::SimBoxWindow> simWindow;
    if (options.simWindow && built.stack->simulated()) {
        simWindow = std::make_unique<iox::simbox::SimBoxWindow>(*built.stack->simulated());
        simWindow->placeBesidePanel();
        simWindow->show();
    }
    return iox::app::run(built.stack->bus());
}
