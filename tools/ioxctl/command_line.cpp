#include "command_line.h"

#include <CLI/CLI.hpp>

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

// The words CLI11 fills in, by what they hold; turned into checked values once parsing has
// succeeded.
struct Words {
    std::string serial, path, record, replay;
    std::vector<std::string> simulate;
    std::string relay, onOff;           // relay N STATE
    std::string byte;                   // relays BYTE, port P set BYTE
    std::string port, portAction;       // port P out|in|set
    std::string line, level;            // line LINE LEVEL, pulse LINE MS
    std::string ms;
    std::string clock, data, le, word;  // spi
    std::string us;                     // pulse-width US
    std::string what;                   // read WHAT, wait LINE LEVEL
    std::string file;                   // flash FILE, hex-check FILE
    std::optional<unsigned> count;      // watch
    std::optional<double> seconds;
    unsigned interval = 50;
    double timeout = 10;                // wait
};

// The options and commands, each filling its word.
void declareOptions(CLI::App& app, GlobalOptions& options, Words& words)
{
    app.footer(exitCodeTable());
    app.require_subcommand(1);
    app.fallthrough();  // global options may also follow the command
    app.set_version_flag("--version", std::string("ioxctl ") + kVersion);

    app.add_option("--sn", words.serial, "Serial number of the box to use");
    app.add_option("--path", words.path, "Device path of the box to use (for boxes that share a serial number)");
    auto* simulate = app.add_option("--simulate", words.simulate, "Run against a simulated box MODEL[,SN] (repeatable)")
                         ->allow_extra_args(false)
                         ->take_all();
    app.add_flag("--trace", options.trace, "Print every report sent and received, as hex, on stderr");
    app.add_flag("--json", options.json, "Print results as JSON");
    app.add_option("--record", words.record, "Record every call to the boxes into FILE, for a bug report")
        ->type_name("FILE");
    auto* replay = app.add_option("--replay", words.replay, "Play the recording FILE instead of reaching boxes")
                       ->type_name("FILE");
    app.add_flag("--replay-timing", options.replayTiming, "Keep the recorded gaps when replaying")->needs(replay);
    replay->excludes(simulate);

    app.add_subcommand("list", "List the attached boxes");
    auto* relay = app.add_subcommand("relay", "Switch one relay: relay N on|off");
    relay->add_option("N", words.relay, "Relay 0 to 7")->required();
    relay->add_option("STATE", words.onOff, "on or off")->required();
    app.add_subcommand("relays", "Set all eight relays: relays BYTE")
        ->add_option("BYTE", words.byte, "Relay byte; bit i is relay i")
        ->required();
    auto* port = app.add_subcommand("port", "port A|B out|in, or port A|B set BYTE");
    port->add_option("PORT", words.port, "A or B")->required();
    port->add_option("ACTION", words.portAction, "out, in or set")->required();
    port->add_option("BYTE", words.byte, "The byte for set");
    auto* line = app.add_subcommand("line", "Drive one line: line A3 0|1");
    line->add_option("LINE", words.line, "A0..A7 or B0..B7")->required();
    line->add_option("LEVEL", words.level, "0 or 1")->required();
    auto* pulse = app.add_subcommand("pulse", "One timed pulse: pulse A0 MS");
    pulse->add_option("LINE", words.line, "A0..A7 or B0..B7")->required();
    pulse->add_option("MS", words.ms, "Pulse length, 0 to 255 ms")->required();
    auto* spi = app.add_subcommand("spi", "Shift a word out: spi --clock B0 --data B1 --le B2 WORD");
    spi->add_option("--clock", words.clock, "Clock line")->required();
    spi->add_option("--data", words.data, "Data line")->required();
    spi->add_option("--le", words.le, "LE line")->required();
    spi->add_option("WORD", words.word, "1 to 56 characters 0 and 1, first bit first")->required();
    app.add_subcommand("pulse-width", "Serial clock pulse width: pulse-width US")
        ->add_option("US", words.us, "0 to 255 microseconds")
        ->required();
    app.add_subcommand("read", "Read a port, the relays, a line, or all three bytes at once: read A|B|relays|all|A3")
        ->add_option("WHAT", words.what, "A, B, relays, all or a line name")
        ->required();
    auto* wait = app.add_subcommand("wait", "Wait until a line reads high or low: wait A3 high|low (exit 12 at the timeout)");
    wait->add_option("LINE", words.line, "A0..A7 or B0..B7")->required();
    wait->add_option("LEVEL", words.level, "high or low")->required();
    wait->add_option("--timeout", words.timeout, "Seconds to wait (default 10)")->check(CLI::Range(0.0, 31536000.0));
    auto* watch = app.add_subcommand("watch", "Print a line whenever a port or relay byte changes (Ctrl-C ends)");
    watch->add_option("--count", words.count, "End after this many lines")->check(CLI::Range(1u, 1000000000u));
    watch->add_option("--for", words.seconds, "End after this many seconds")->check(CLI::Range(0.001, 31536000.0));
    watch->add_option("--interval", words.interval, "Pause between polls in ms (10 to 10000)")
        ->check(CLI::Range(10u, 10000u));
    app.add_subcommand("flash", "Write a firmware image into the box")
        ->add_option("FILE", words.file, "The image (an Intel HEX file named USB_IO_Firmware_...)")
        ->required();
    app.add_subcommand("doctor", "Explain why a box cannot be reached");
    app.add_subcommand("hex-check", "Check a firmware image record by record; touches no box")
        ->add_option("FILE", words.file, "The image")
        ->required();
}

// "MODEL[,SN]", as ioxd takes it too.
sim::BoxConfig simulatedBox(const std::string& text, std::size_t index)
{
    std::string error;
    auto box = boxes::parseSimulateOption(text, index, "--simulate", error);
    if (!box)
        throw Refused{error};
    return *box;
}

void convertGlobals(const Words& words, GlobalOptions& options)
{
    if (!words.serial.empty())
        options.serial = words.serial;
    if (!words.path.empty())
        options.path = words.path;
    if (options.serial && options.path)
        throw Refused{"use --sn or --path, not both"};
    if (!words.record.empty())
        options.record = words.record;
    if (!words.replay.empty())
        options.replay = words.replay;
    for (std::size_t i = 0; i < words.simulate.size(); ++i)
        options.simulate.push_back(simulatedBox(words.simulate[i], i));
}

Command portCommand(const Words& words)
{
    const char port = need(boxes::checkPort(words.port));
    if (words.portAction == "out" || words.portAction == "in") {
        if (!words.byte.empty())
            throw Refused{"port " + words.port + " " + words.portAction + " takes no value, got \"" + words.byte + "\""};
        return PortDirectionCommand{port, words.portAction == "out"};
    }
    if (words.portAction == "set")
        return PortSetCommand{port, need(parseByte(words.byte))};
    throw Refused{"port takes out, in or set BYTE, got \"" + words.portAction + "\""};
}

Command spiCommand(const Words& words)
{
    need(boxes::checkLine(words.clock), "--clock");
    need(boxes::checkLine(words.data), "--data");
    need(boxes::checkLine(words.le), "--le");
    const auto lines = need(boxes::checkSerialLines({words.clock, words.data, words.le}, nullptr));
    return SpiCommand{lines[0].name(), lines[1].name(), lines[2].name(),
                      need(boxes::checkWord(words.word, kSpiOutMaxBits))};
}

int lineLevel(const std::string& text)
{
    if (text != "0" && text != "1")
        throw Refused{"a line level is 0 or 1, got \"" + text + "\""};
    return text == "1";
}

bool waitLevel(const std::string& text)
{
    if (text != "high" && text != "low")
        throw Refused{"wait takes a level high or low, got \"" + text + "\""};
    return text == "high";
}

Command readCommand(const Words& words)
{
    if (const auto port = boxes::checkPort(words.what))
        return ReadCommand{*port == 'A' ? ReadCommand::What::PortA : ReadCommand::What::PortB, {}};
    if (words.what == "relays")
        return ReadCommand{ReadCommand::What::Relays, {}};
    if (words.what == "all")
        return ReadCommand{ReadCommand::What::All, {}};
    const auto line = boxes::checkLine(words.what);
    if (!line)
        throw Refused{"read takes A, B, relays, all or a line A0..B7, got \"" + words.what + "\""};
    return ReadCommand{ReadCommand::What::Line, line->name()};
}

// The command named, its values checked.
Command convertCommand(const CLI::App& app, const Words& words)
{
    const auto named = [&](const char* name) { return app.got_subcommand(name); };
    if (named("relay"))
        return RelayCommand{need(boxes::checkRelay(std::string_view(words.relay))),
                            need(parseOnOff(words.onOff), "a relay is switched on or off", words.onOff)};
    if (named("relays"))
        return RelaysCommand{need(parseByte(words.byte))};
    if (named("port"))
        return portCommand(words);
    if (named("line"))
        return LineCommand{need(boxes::checkLine(words.line)).name(), lineLevel(words.level)};
    if (named("pulse"))
        return PulseCommand{need(boxes::checkLine(words.line)).name(),
                            need(boxes::checkPulseLength(std::string_view(words.ms)))};
    if (named("spi"))
        return spiCommand(words);
    if (named("pulse-width"))
        return PulseWidthCommand{need(boxes::checkPulseWidth(std::string_view(words.us)))};
    if (named("read"))
        return readCommand(words);
    if (named("watch"))
        return WatchCommand{words.count, words.seconds, words.interval};
    if (named("wait"))
        return WaitCommand{need(boxes::checkLine(words.line)), waitLevel(words.level), words.timeout};
    if (named("flash"))
        return FlashCommand{words.file};
    if (named("doctor"))
        return DoctorCommand{};
    if (named("hex-check"))
        return HexCheckCommand{words.file};
    return ListCommand{};
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
    GlobalOptions options;
    Words words;
    declareOptions(app, options, words);

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
        convertGlobals(words, options);
        Command command = convertCommand(app, words);
        outcome.invocation = Invocation{std::move(options), std::move(command)};
    } catch (const Refused& refused) {
        outcome.exit = Exit::BadArgument;
        outcome.text = "ioxctl: " + refused.message + "\n";
    }
    return outcome;
}

}  // namespace iox::ctl
