#include "run.h"

#include <memory>

#include "box_finder.h"
#include "boxes/backend_stack.h"
#include "command_line.h"
#include "device/record/replay_backend.h"
#include "device/sim/sim_backend.h"
#include "device_commands.h"
#include "doctor_command.h"
#include "flash_command.h"
#include "hex_check_command.h"
#include "list_command.h"
#include "wait_command.h"
#include "watch_command.h"

namespace iox::ctl {

namespace {

template <class... F>
struct Overload : F... {
    using F::operator()...;
};
template <class... F>
Overload(F...) -> Overload<F...>;

Exit dispatch(HidBackend& bus, const Invocation& invocation, const Environment& env, bool waits)
{
    const GlobalOptions& options = invocation.options;
    // A command on one box: select it, connect, run.
    auto onBox = [&](auto command) {
        return withBox(bus, options, env, [&](USB_IO& device, const std::string&) { return command(device); });
    };
    return std::visit(
        Overload{
            [&](const ListCommand&) { return runList(bus, options.json, env); },
            [&](const RelayCommand& c) { return onBox([&](USB_IO& d) { return runRelay(d, c, env); }); },
            [&](const RelaysCommand& c) { return onBox([&](USB_IO& d) { return runRelays(d, c, env); }); },
            [&](const PortDirectionCommand& c) { return onBox([&](USB_IO& d) { return runPortDirection(d, c, env); }); },
            [&](const PortSetCommand& c) { return onBox([&](USB_IO& d) { return runPortSet(d, c, env); }); },
            [&](const LineCommand& c) { return onBox([&](USB_IO& d) { return runLine(d, c, env); }); },
            [&](const PulseCommand& c) { return onBox([&](USB_IO& d) { return runPulse(d, c, env); }); },
            [&](const SpiCommand& c) { return onBox([&](USB_IO& d) { return runSpi(d, c, env); }); },
            [&](const PulseWidthCommand& c) { return onBox([&](USB_IO& d) { return runPulseWidth(d, c, env); }); },
            [&](const ReadCommand& c) { return onBox([&](USB_IO& d) { return runRead(d, c, options.json, env); }); },
            [&](const WatchCommand& c) { return onBox([&](USB_IO& d) { return runWatch(d, c, options.json, env); }); },
            [&](const WaitCommand& c) { return onBox([&](USB_IO& d) { return runWait(d, c, env); }); },
            [&](const FlashCommand& c) { return runFlash(bus, options, c, env, waits); },
            [&](const DoctorCommand&) { return runDoctor(bus, env); },
            [&](const HexCheckCommand& c) { return runHexCheck(c, options.json, env); },
        },
        invocation.command);
}

}  // namespace

int run(const std::vector<std::string>& args, const Environment& env)
{
    const ParseOutcome parsed = parseCommandLine(args);
    if (!parsed.invocation) {
        (parsed.exit == Exit::Ok ? env.out : env.err) << parsed.text;
        return code(parsed.exit);
    }
    const Invocation& invocation = *parsed.invocation;

    // hex-check touches no bus; every other command runs on the stack built here.
    if (std::holds_alternative<HexCheckCommand>(invocation.command)) {
        static sim::SimBackend noBus;
        return code(dispatch(noBus, invocation, env, false));
    }
    const GlobalOptions& options = invocation.options;
    boxes::StackOptions stackOptions;
    stackOptions.program = "ioxctl";
    stackOptions.replay = options.replay;
    stackOptions.replayTiming = options.replayTiming;
    stackOptions.onReplayStop = [&env](const std::string& report) { env.err << "ioxctl: " << report << std::flush; };
    stackOptions.simulated = options.simulate;
    stackOptions.bus = env.bus;
    stackOptions.record = options.record;
    if (options.trace)
        stackOptions.trace = boxes::traceLines([&env](const std::string& line) { env.err << line << '\n' << std::flush; });
    auto built = boxes::BackendStack::build(std::move(stackOptions));
    if (!built.stack) {
        env.err << "ioxctl: " << built.error << '\n';
        return code(Exit::BadArgument);
    }
    Exit exit = dispatch(built.stack->bus(), invocation, env, built.stack->restartsTakeTime());
    if (auto* replay = built.stack->replay()) {
        // A replay that differs from the recording, or leaves some of it unplayed, fails.
        replay->finish();
        if (!replay->complete() && exit == Exit::Ok)
            exit = Exit::NotAnswering;
    }
    return code(exit);
}

}  // namespace iox::ctl
