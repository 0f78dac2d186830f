#include "demo_options.h"

#include "boxes/simulated_boxes.h"

namespace iox::demo {

ParseResult parseOptions(const std::vector<std::string>& args)
{
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg == "--no-sim-window") {
            options.simWindow = false;
            continue;
        }
        if (arg == "--replay-timing") {
            options.replayTiming = true;
            continue;
        }
        if (arg == "--box" || arg == "--trace" || arg == "--record" || arg == "--replay") {
            if (i + 1 >= args.size())
                return {std::nullopt, arg + " needs a value"};
            const std::string& value = args[++i];
            if (arg == "--record" || arg == "--replay") {
                if (value.empty())
                    return {std::nullopt, arg + " needs a file name"};
                (arg == "--record" ? options.recordPath : options.replayPath) = value;
                continue;
            }
            if (arg == "--trace") {
                if (value.empty())
                    return {std::nullopt, "--trace needs a file name"};
                options.tracePath = value;
                continue;
            }
            std::string error;
            auto box = boxes::parseBoxOption(value, "--box", error);
            if (!box)
                return {std::nullopt, error};
            options.boxes.push_back(std::move(*box));
            continue;
        }
        return {std::nullopt, "unknown option \"" + arg + "\""};
    }
    if (options.replayPath && (!options.boxes.empty() || options.tracePath || options.recordPath))
        return {std::nullopt, "--replay plays the recorded boxes; it takes no --box, --trace or --record"};
    if (options.replayTiming && !options.replayPath)
        return {std::nullopt, "--replay-timing goes with --replay FILE"};
    if (options.boxes.empty())
        options.boxes.push_back(sim::BoxConfig{});
    return {options, {}};
}

std::string usage()
{
    return "usage: iox-demo [--box MODEL,SN]... [--trace FILE] [--record FILE] [--no-sim-window] [--help] [--version]\n"
           "       iox-demo --replay FILE [--replay-timing]\n"
           "  --box MODEL,SN   simulate a box (repeatable), e.g. --box IOX-MODEL-D,20001;\n"
           "                   several give the selection window, IOX-MODEL-B the compact panel;\n"
           "                   default: one IOX-MODEL-C box with serial number 10001\n"
           "  --trace FILE     write every report the simulated boxes receive and send\n"
           "  --record FILE    record every call to the boxes, for a bug report (see README)\n"
           "  --replay FILE    play a recording instead of simulating boxes; the first request\n"
           "                   that differs from the recording stops it, with a report\n"
           "  --replay-timing  keep the recorded gaps (default: as fast as possible)\n"
           "  --no-sim-window  do not open the \"Simulated box\" window, which shows what the\n"
           "                   boxes do and switches the lines of ports set as inputs\n"
           "  --help           print this help and exit\n"
           "  --version        print the version and exit\n";
}

}  // namespace iox::demo
