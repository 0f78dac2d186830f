#include "options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include <arpa/inet.h>
#include <nlohmann/json.hpp>

#include "boxes/simulated_boxes.h"
#include "config_file.h"
#include "iox_version.h"

namespace iox::ioxd {

namespace {

struct Refused {
    std::string message;
};

// What the command line binds to, before the values are checked.
struct Raw {
    Options options;
    std::string broker = "localhost:1883";
    std::string http;
    std::vector<std::string> simulate, names;
    bool noDiscovery = false, noMqtt = false;
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
    app.add_option("--name", raw.names, "Name a box: SN=TEXT (repeatable), shown by both faces");
    app.add_flag("--no-mqtt", raw.noMqtt, "No MQTT face (then --http is needed)");
    HttpOptions& h = o.http;
    app.add_option("--http", raw.http, "Serve the web face at ADDR:PORT (e.g. 127.0.0.1:8080)");
    app.add_option("--http-user", h.user, "User name the web face asks for (default iox)");
    app.add_option("--http-password-file", h.passwordFile, "File whose first line is the web face's password")
        ->check(CLI::ExistingFile);
    app.add_option("--http-tls-cert", h.tlsCert, "The web face's certificate (PEM): HTTPS")->check(CLI::ExistingFile);
    app.add_option("--http-tls-key", h.tlsKey, "The web face's key (PEM)")->check(CLI::ExistingFile);
    app.add_flag("--http-insecure", h.insecure, "Plain HTTP on an address other than loopback");
    app.add_option("--http-host", h.hostNames, "A name the web face is reached by (repeatable)");
}

// HOST, HOST:PORT, [IPV6] or [IPV6]:PORT; an IPv6 address without brackets has no port.
// port holds the default, if there is one (0: the port must be given).
void splitAddress(const std::string& option, const std::string& text, std::string& host, int& port)
{
    std::string number;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':'))
            throw Refused{option + ": not [IPV6]:PORT: \"" + text + "\""};
        host = text.substr(1, close - 1);
        number = close + 1 < text.size() ? text.substr(close + 2) : "";
    } else if (const auto colon = text.rfind(':'); colon != std::string::npos && text.find(':') == colon) {
        host = text.substr(0, colon);
        number = text.substr(colon + 1);
    } else {
        host = text;
    }
    if (number.empty() && port > 0)
        number = std::to_string(port);
    if (number.empty() || number.size() > 5 || number.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(number) < 1 || std::stoi(number) > 65535)
        throw Refused{option + ": port must be 1 to 65535, got \"" + number + "\""};
    port = std::stoi(number);
    if (host.empty())
        throw Refused{option + ": no host in \"" + text + "\""};
}

std::string firstLine(const std::string& option, const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line))
        throw Refused{option + ": cannot read \"" + path + "\""};
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
    splitAddress("--broker", raw.broker, options.host, options.port);
    if (!raw.http.empty())
        splitAddress("--http", raw.http, options.http.address, options.http.port);
    options.mqtt = !raw.noMqtt;
    if (options.prefix.empty() || options.prefix.find_first_of("#+") != std::string::npos ||
        options.prefix.back() == '/')
        throw Refused{"--prefix: not a topic prefix: \"" + options.prefix + "\""};
    if (!options.passwordFile.empty())
        options.password = firstLine("--password-file", options.passwordFile);
    if (!options.http.passwordFile.empty()) {
        options.http.password = firstLine("--http-password-file", options.http.passwordFile);
        if (options.http.password.empty())  // would let everybody in
            throw Refused{"--http-password-file: the first line of \"" + options.http.passwordFile + "\" is empty"};
    }
    for (const std::string& name : raw.names) {
        const auto equals = name.find('=');
        if (equals == 0 || equals == std::string::npos || equals + 1 == name.size())
            throw Refused{"--name: SN=TEXT, got \"" + name + "\""};
        try {
            (void)nlohmann::json(name).dump();  // names go out as JSON: UTF-8 only
        } catch (const nlohmann::json::exception&) {
            throw Refused{"--name: not UTF-8 text: \"" + name + "\""};
        }
        options.names[name.substr(0, equals)] = name.substr(equals + 1);
    }
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
    const HttpOptions& http = options.http;
    if (!options.mqtt && http.address.empty())
        throw Refused{"--no-mqtt needs --http: there would be nothing to serve"};
    if (http.tlsCert.empty() != http.tlsKey.empty())
        throw Refused{"--http-tls-cert and --http-tls-key go together"};
    if (http.address.empty() || isLoopback(http.address))
        return;
    // Beyond this machine, nobody switches a relay without the password, nor reads it in clear.
    if (http.passwordFile.empty())
        throw Refused{"--http on " + http.address + " (not loopback) needs --http-password-file"};
    if (http.tlsCert.empty() && !http.insecure)
        throw Refused{"--http on " + http.address + " (not loopback) needs --http-tls-cert and --http-tls-key, "
                      "or --http-insecure"};
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

bool isLoopback(const std::string& address)
{
    in_addr v4{};
    in6_addr v6{};
    if (address == "localhost")
        return true;
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    return ::inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

ParsedOptions parseOptions(int argc, const char* const* argv)
{
    CLI::App app{"ioxd: serves every USB To I/O box over MQTT and the web", "ioxd"};
    const std::string version = std::string("ioxd ") + kVersion;
    app.set_version_flag("--version", version);
    Raw raw;
    declare(app, raw);
    std::string config;
    app.add_option("--config", config, "Read options from FILE (key = value, the long option names)");
    app.footer("Exit codes: 0 stopped by SIGTERM or SIGINT; 1 other failure (another bridge serves the prefix,\n"
               "the web face's port taken...); "
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

}  // namespace iox::ioxd
