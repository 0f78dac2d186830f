#include "command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <sstream>

#include "boxes/checks.h"
#include "boxes/simulated_boxes.h"
#include "device/commands.h"
#include "iox_version.h"
#include "values.h"

namespace iox::ctl {

namespace {


struct Refused {
    std::string message;
};

template <typename T>
T need(const std::optional<T>& value, const std::string& what, const std::string& text)
{
    if (!value)
        throw Refused{what + ", got \"" + text + "\""};
    return *value;
}

// A value the shared checks took, or their reason, after `option` when one is named.
template <typename T>
T need(const boxes::Checked<T>& checked, const std::string& option = {})
{
    if (!checked)
        throw Refused{(option.empty() ? "" : option + ": ") + checked.refusal().reason};
    return *checked;
}

// "MODEL[,SN]", as iox-mqtt takes it too.
sim::BoxConfig simulatedBox(const std::string& boxOption, std::size_t index)
{
    std::string error;
    auto box = boxes::parseSimulateOption(boxOption, index, "--simulate", error);
    if (!box)
        throw Refused{error};
    return *box;
}

// The raw strings CLI11 fills in; turned into a Command once parsing has succeeded.
struct Raw {
    std::string a, b, c;
    std::string clock, data, le;
    std::optional<unsigned> count;
    std::optional<double> seconds;
    unsigned interval = 50;
};

Command relayCommand(const Raw& raw)
{
    return RelayCommand{need(boxes::checkRelay(std::string_view(raw.a))),
                        need(parseOnOff(raw.b), "a relay is switched on or off", raw.b)};
}

Command portCommand(const Raw& raw)
{
    const char port = need(boxes::checkPort(raw.a));
    if (raw.b == "out" || raw.b == "in") {
        if (!raw.c.empty())
            throw Refused{"port " + raw.a + " " + raw.b + " takes no value, got \"" + raw.c + "\""};
        return PortDirectionCommand{port, raw.b == "out"};
    }
    if (raw.b == "set")
        return PortSetCommand{port, need(parseByte(raw.c))};
    throw Refused{"port takes out, in or set BYTE, got \"" + raw.b + "\""};
}

Command spiCommand(const Raw& raw)
{
    need(boxes::checkLine(raw.clock), "--clock");
    need(boxes::checkLine(raw.data), "--data");
    need(boxes::checkLine(raw.le), "--le");
    const auto lines = need(boxes::checkSerialLines({raw.clock, raw.data, raw.le}, nullptr));
    return SpiCommand{lines[0].name(), lines[1].name(), lines[2].name(), need(boxes::checkWord(raw.a, kSpiOutMaxBits))};
}

int lineLevel(const std::string& text)
{
    if (text != "0" && text != "1")
        throw Refused{"a line level is 0 or 1, got \"" + text + "\""};
    return text == "1";
}

Command readCommand(const Raw& raw)
{
    if (const auto port = boxes::checkPort(raw.a))
        return ReadCommand{*port == 'A' ? ReadCommand::What::PortA : ReadCommand::What::PortB, {}};
    if (raw.a == "relays")
        return ReadCommand{ReadCommand::What::Relays, {}};
    const auto line = boxes::checkLine(raw.a);
    if (!line)
        throw Refused{"read takes A, B, relays or a line A0..B7, got \"" + raw.a + "\""};
    return ReadCommand{ReadCommand::What::Line, line->name()};
}

// A word where the command belongs that names none: CLI11 would only say that a command is
// missing.
std::optional<std::string> unknownCommand(const CLI::App& app)
{
    if (!app.get_subcommands().empty())
        return std::nullopt;
    for (const std::string& word : app.remaining())
        if (!word.empty() && word[0] != '-')
            return word;
    return std::nullopt;
}

}  // namespace

ParseOutcome parseCommandLine(const std::vector<std::string>& args)
{
    CLI::App app{"ioxctl: drive and check USB To I/O boxes from the command line", "ioxctl"};
    app.footer(exitCodeTable());
    app.require_subcommand(1);
    app.fallthrough();  // global options may also follow the command
    app.set_version_flag("--version", std::string("ioxctl ") + kVersion);

    GlobalOptions options;
    std::string serial, path;
    std::vector<std::string> simulate;
    app.add_option("--sn", serial, "Serial number of the box to use");
    app.add_option("--path", path, "Device path of the box to use (for boxes that share a serial number)");
    auto* simulateOption = app.add_option("--simulate", simulate, "Run against a simulated box MODEL[,SN] (repeatable)")->allow_extra_args(false)->take_all();
    app.add_flag("--trace", options.trace, "Print every report sent and received, as hex, on stderr");
    app.add_flag("--json", options.json, "Print results as JSON");
    std::string record, replay;
    app.add_option("--record", record, "Record every call to the boxes into FILE, for a bug report")->type_name("FILE");
    auto* replayOption = app.add_option("--replay", replay, "Play the recording FILE instead of reaching boxes")->type_name("FILE");
    app.add_flag("--replay-timing", options.replayTiming, "Keep the recorded gaps when replaying")->needs(replayOption);
    replayOption->excludes(simulateOption);

    Raw raw;
    auto* list = app.add_subcommand("list", "List the attached boxes");
    auto* relay = app.add_subcommand("relay", "Switch one relay: relay N on|off");
    relay->add_option("N", raw.a, "Relay 0 to 7")->required();
    relay->add_option("STATE", raw.b, "on or off")->required();
    auto* relays = app.add_subcommand("relays", "Set all eight relays: relays BYTE");
    relays->add_option("BYTE", raw.a, "Relay byte; bit i is relay i")->required();
    auto* port = app.add_subcommand("port", "port A|B out|in, or port A|B set BYTE");
    port->add_option("PORT", raw.a, "A or B")->required();
    port->add_option("ACTION", raw.b, "out, in or set")->required();
    port->add_option("BYTE", raw.c, "The byte for set");
    auto* line = app.add_subcommand("line", "Drive one line: line A3 0|1");
    line->add_option("LINE", raw.a, "A0..A7 or B0..B7")->required();
    line->add_option("LEVEL", raw.b, "0 or 1")->required();
    auto* pulse = app.add_subcommand("pulse", "One timed pulse: pulse A0 MS");
    pulse->add_option("LINE", raw.a, "A0..A7 or B0..B7")->required();
    pulse->add_option("MS", raw.b, "Pulse length, 0 to 255 ms")->required();
    auto* spi = app.add_subcommand("spi", "Shift a word out: spi --clock B0 --data B1 --le B2 WORD");
    spi->add_option("--clock", raw.clock, "Clock line")->required();
    spi->add_option("--data", raw.data, "Data line")->required();
    spi->add_option("--le", raw.le, "LE line")->required();
    spi->add_option("WORD", raw.a, "1 to 56 characters 0 and 1, first bit first")->required();
    auto* pulseWidth = app.add_subcommand("pulse-width", "Serial clock pulse width: pulse-width US");
    pulseWidth->add_option("US", raw.a, "0 to 255 microseconds")->required();
    auto* read = app.add_subcommand("read", "Read a port, the relays or a line: read A|B|relays|A3");
    read->add_option("WHAT", raw.a, "A, B, relays or a line name")->required();
    auto* watch = app.add_subcommand("watch", "Print a line whenever a port or relay byte changes (Ctrl-C ends)");
    watch->add_option("--count", raw.count, "End after this many lines")->check(CLI::Range(1u, 1000000000u));
    watch->add_option("--for", raw.seconds, "End after this many seconds")->check(CLI::Range(0.001, 31536000.0));
    watch->add_option("--interval", raw.interval, "Pause between polls in ms (10 to 10000)")
        ->check(CLI::Range(10u, 10000u));
    auto* flash = app.add_subcommand("flash", "Write a firmware image into the box");
    flash->add_option("FILE", raw.a, "The image (an Intel HEX file named USB_IO_Firmware_...)")->required();
    auto* doctor = app.add_subcommand("doctor", "Explain why a box cannot be reached");
    auto* hexCheck = app.add_subcommand("hex-check", "Check a firmware image record by record; touches no box");
    hexCheck->add_option("FILE", raw.a, "The image")->required();

    ParseOutcome outcome;
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        if (const auto word = unknownCommand(app)) {
            outcome.exit = Exit::BadArgument;
            outcome.text = "ioxctl: unknown command \"" + *word + "\" (see ioxctl --help)\n";
            return outcome;
        }
        std::ostringstream out, err;
        const int status = app.exit(e, out, err);
        outcome.exit = status == 0 ? Exit::Ok : Exit::BadArgument;
        outcome.text = status == 0 ? out.str() : "ioxctl: " + err.str();
        return outcome;
    }

    try {
        if (!serial.empty())
            options.serial = serial;
        if (!path.empty())
            options.path = path;
        if (options.serial && options.path)
            throw Refused{"use --sn or --path, not both"};
        if (!record.empty())
            options.record = record;
        if (!replay.empty())
            options.replay = replay;
        for (std::size_t i = 0; i < simulate.size(); ++i)
            options.simulate.push_back(simulatedBox(simulate[i], i));

        Command command;
        if (*list)
            command = ListCommand{};
        else if (*relay)
            command = relayCommand(raw);
        else if (*relays)
            command = RelaysCommand{need(parseByte(raw.a))};
        else if (*port)
            command = portCommand(raw);
        else if (*line)
            command = LineCommand{need(boxes::checkLine(raw.a)).name(), lineLevel(raw.b)};
        else if (*pulse)
            command = PulseCommand{need(boxes::checkLine(raw.a)).name(), need(boxes::checkPulseLength(std::string_view(raw.b)))};
        else if (*spi)
            command = spiCommand(raw);
        else if (*pulseWidth)
            command = PulseWidthCommand{need(boxes::checkPulseWidth(std::string_view(raw.a)))};
        else if (*read)
            command = readCommand(raw);
        else if (*watch)
            command = WatchCommand{raw.count, raw.seconds, raw.interval};
        else if (*flash)
            command = FlashCommand{raw.a};
        else if (*doctor)
            command = DoctorCommand{};
        else
            command = HexCheckCommand{raw.a};
        (void)hexCheck;
        outcome.invocation = Invocation{std::move(options), std::move(command)};
    } catch (const Refused& refused) {
        outcome.exit = Exit::BadArgument;
        outcome.text = "ioxctl: " + refused.message + "\n";
    }
    return outcome;
}

}  // namespace iox::ctl
