#include "run.h"

#include <memory>

#include "box_finder.h"
#include "command_line.h"
#include "device/hidapi_backend.h"
#include "device/sim/sim_backend.h"
#include "device_commands.h"
#include "doctor_command.h"
#include "flash_command.h"
#include "hex_check_command.h"
#include "list_command.h"
#include "tracing_backend.h"
#include "watch_command.h"

namespace iox::ctl {

namespace {

template <class... F>
struct Overload : F... {
    using F::operator()...;
};
template <class... F>
Overload(F...) -> Overload<F...>;

Exit dispatch(HidBackend& bus, const Invocation& invocation, const Environment& env)
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
            [&](const FlashCommand& c) { return runFlash(bus, options, c, env); },
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

    std::unique_ptr<HidBackend> own;
    HidBackend* bus = env.bus;
    if (!invocation.options.simulate.empty()) {
        auto simulated = std::make_unique<sim::SimBackend>();
        for (const auto& box : invocation.options.simulate)
            simulated->addBox(box);
        own = std::move(simulated);
        bus = own.get();
    } else if (!bus && !std::holds_alternative<HexCheckCommand>(invocation.command)) {
        own = std::make_unique<HidapiBackend>();
        bus = own.get();
    }
    std::unique_ptr<TracingBackend> tracing;
    if (invocation.options.trace && bus) {
        tracing = std::make_unique<TracingBackend>(*bus, env.err);
        bus = tracing.get();
    }
    // hex-check touches no bus; every other command has one by now.
    static sim::SimBackend noBus;
    return code(dispatch(bus ? *bus : noBus, invocation, env));
}

}  // namespace iox::ctl
