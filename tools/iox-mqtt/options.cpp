#include "options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include "boxes/simulated_boxes.h"
#include "config_file.h"
#include "iox_version.h"

namespace iox::mqtt {

namespace {

struct Refused {
    std::string message;
};

// What the command line binds to, before the values are checked.
struct Raw {
    Options options;
    std::string broker = "localhost:1883";
    std::vector<std::string> simulate;
    bool noDiscovery = false;
};

// Every option but --config, --help and --version, which the configuration file cannot set.
void declare(CLI::App& app, Raw& raw)
{
    Options& o = raw.options;
    app.add_option("--broker", raw.broker, "Broker HOST[:PORT] or [IPV6][:PORT] (default localhost:1883)");
    app.add_option("--username", o.username, "User name at the broker");
    app.add_option("--password-file", o.passwordFile, "File whose first line is the password (with --username)")
        ->check(CLI::ExistingFile);
    app.add_option("--tls-ca", o.tlsCa, "CA certificate (PEM): connect with TLS")->check(CLI::ExistingFile);
    app.add_option("--tls-cert", o.tlsCert, "Client certificate (PEM)")->check(CLI::ExistingFile);
    app.add_option("--tls-key", o.tlsKey, "Client key (PEM)")->check(CLI::ExistingFile);
    app.add_option("--client-id", o.clientId, "MQTT client id (default: one the library makes)");
    app.add_option("--prefix", o.prefix, "Topic prefix (default iox); one bridge per prefix");
    app.add_option("--discovery-prefix", o.discoveryPrefix, "Home Assistant discovery prefix (default homeassistant)");
    app.add_flag("--no-discovery", raw.noDiscovery, "Publish no Home Assistant discovery messages");
    app.add_option("--sn", o.serials, "Serve only the box with this serial number (repeatable)");
    app.add_option("--poll-ms", o.pollMs, "Poll interval in milliseconds (default 5)")->check(CLI::Range(1, 60000));
    app.add_flag("--read-only", o.readOnly, "Publish state only; refuse every command");
    app.add_option("--simulate", raw.simulate, "Serve a simulated box MODEL[,SN] (repeatable)");
    app.add_option("--trace", o.tracePath, "Write every report to FILE (out|in SN <65 hex bytes>)");
    app.add_option("--record", o.recordPath, "Record every call to the boxes into FILE, for a bug report");
}

// HOST, HOST:PORT, [IPV6] or [IPV6]:PORT; an IPv6 address without brackets has no port.
void splitBroker(const std::string& broker, Options& options)
{
    std::string port;
    if (broker.starts_with('[')) {
        const auto close = broker.find(']');
        if (close == std::string::npos || (close + 1 < broker.size() && broker[close + 1] != ':'))
            throw Refused{"--broker: not [IPV6]:PORT: \"" + broker + "\""};
        options.host = broker.substr(1, close - 1);
        if (close + 1 < broker.size())
            port = broker.substr(close + 2);
        else
            port = std::to_string(options.port);
    } else if (const auto colon = broker.rfind(':'); colon != std::string::npos && broker.find(':') == colon) {
        options.host = broker.substr(0, colon);
        port = broker.substr(colon + 1);
    } else {
        options.host = broker;
        port = std::to_string(options.port);
    }
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(port) < 1 || std::stoi(port) > 65535)
        throw Refused{"--broker: port must be 1 to 65535, got \"" + port + "\""};
    options.port = std::stoi(port);
    if (options.host.empty())
        throw Refused{"--broker: no host in \"" + broker + "\""};
}

std::string firstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line))
        throw Refused{"--password-file: cannot read \"" + path + "\""};
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// The checks each value passes on its own.
Options converted(Raw raw)
{
    Options options = std::move(raw.options);
    if (raw.noDiscovery)
        options.discovery = false;
    splitBroker(raw.broker, options);
    if (options.prefix.empty() || options.prefix.find_first_of("#+") != std::string::npos ||
        options.prefix.back() == '/')
        throw Refused{"--prefix: not a topic prefix: \"" + options.prefix + "\""};
    if (!options.passwordFile.empty())
        options.password = firstLine(options.passwordFile);
    for (std::size_t i = 0; i < raw.simulate.size(); ++i) {
        std::string error;
        auto box = boxes::parseSimulateOption(raw.simulate[i], i, "--simulate", error);
        if (!box)
            throw Refused{error};
        options.simulate.push_back(*box);
    }
    return options;
}

// The checks of options taken together.
void checkTogether(const Options& options)
{
    if (options.tlsCert.empty() != options.tlsKey.empty())
        throw Refused{"--tls-cert and --tls-key go together"};
    if (!options.passwordFile.empty() && options.username.empty())
        throw Refused{"--password-file needs --username"};
}

Options parsedWords(std::vector<std::string> words)
{
    CLI::App app;
    Raw raw;
    declare(app, raw);
    std::reverse(words.begin(), words.end());  // CLI11 takes them from the back
    app.parse(words);
    return converted(std::move(raw));
}

std::optional<bool> yesNo(const std::string& value)
{
    static const std::map<std::string, bool> words = {{"true", true}, {"yes", true}, {"on", true}, {"1", true},
                                                      {"false", false}, {"no", false}, {"off", false}, {"0", false}};
    std::string lower = value;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const auto it = words.find(lower);
    return it == words.end() ? std::nullopt : std::optional(it->second);
}

// The file's settings as command-line words, each value checked where it is written; an option
// also given on the command line (given) is left to the command line.
std::vector<std::string> fileWords(const std::string& path, CLI::App& app, const std::set<std::string>& given)
{
    const ConfigFile file = readConfigFile(path);
    if (!file.error.empty())
        throw Refused{file.error};
    std::vector<std::string> words;
    std::map<std::string, int> seen;  // key -> its first line
    for (const Setting& setting : file.settings) {
        const std::string where = path + ":" + std::to_string(setting.line) + ": ";
        const CLI::Option* option = app.get_option_no_throw("--" + setting.key);
        if (!option || setting.key == "config" || setting.key == "help" || setting.key == "version") {
            std::string known = setting.key;
            std::replace(known.begin(), known.end(), '_', '-');
            const bool near = known != setting.key && app.get_option_no_throw("--" + known);
            throw Refused{where + "unknown key \"" + setting.key + "\"" +
                          (near ? " (did you mean " + known + "?)" : "")};
        }
        const bool repeatable = option->get_expected_max() > 1;
        if (const auto first = seen.try_emplace(setting.key, setting.line); !first.second && !repeatable)
            throw Refused{where + "\"" + setting.key + "\" is set twice (also on line " +
                          std::to_string(first.first->second) + ")"};
        std::vector<std::string> these{"--" + setting.key};
        if (option->get_expected_max() == 0) {  // a flag
            const auto on = yesNo(setting.value);
            if (!on)
                throw Refused{where + "\"" + setting.key + "\" is true or false, not \"" + setting.value + "\""};
            if (!*on)
                these.clear();
        } else {
            these.push_back(setting.value);
        }
        try {
            parsedWords(these);
        } catch (const CLI::ParseError& error) {
            throw Refused{where + "\"" + setting.key + "\": " + error.what()};
        } catch (const Refused& refused) {
            throw Refused{where + "\"" + setting.key + "\": " + refused.message};
        }
        if (!given.count(setting.key))
            words.insert(words.end(), these.begin(), these.end());
    }
    return words;
}

}  // namespace

ParsedOptions parseOptions(int argc, const char* const* argv)
{
    CLI::App app{"iox-mqtt: puts every USB To I/O box on an MQTT broker", "iox-mqtt"};
    const std::string version = std::string("iox-mqtt ") + kVersion;
    app.set_version_flag("--version", version);
    Raw raw;
    declare(app, raw);
    std::string config;
    app.add_option("--config", config, "Read options from FILE (key = value, the long option names)");
    app.footer("Exit codes: 0 stopped by SIGTERM or SIGINT; 1 other failure (another bridge serves the prefix...);\n"
               "2 bad option or configuration file; 3 broker unreachable; 4 credentials refused; 5 TLS failure.");
    try {
        app.parse(argc, argv);
        Options options;
        if (config.empty()) {
            options = converted(std::move(raw));
        } else {
            std::set<std::string> given;
            for (const CLI::Option* option : app.get_options())
                if (option->count() > 0 && !option->get_lnames().empty())
                    given.insert(option->get_lnames().front());
            std::vector<std::string> words = fileWords(config, app, given);
            words.insert(words.end(), argv + 1, argv + argc);
            std::erase_if(words, [&, skip = false](const std::string& word) mutable {
                // --config itself is not an option of the merged words
                const bool drop = skip || word == "--config" || word.starts_with("--config=");
                skip = word == "--config";
                return drop;
            });
            options = parsedWords(std::move(words));
        }
        checkTogether(options);
        return {options, 0, {}};
    } catch (const CLI::CallForHelp&) {
        return {std::nullopt, 0, app.help()};
    } catch (const CLI::CallForVersion&) {
        return {std::nullopt, 0, version};
    } catch (const CLI::ParseError& error) {
        return {std::nullopt, static_cast<int>(Exit::BadArgument), error.what()};
    } catch (const Refused& refused) {
        return {std::nullopt, static_cast<int>(Exit::BadArgument), refused.message};
    }
}

}  // namespace iox::mqtt
