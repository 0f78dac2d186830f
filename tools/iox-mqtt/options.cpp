#include "options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <fstream>

#include "boxes/simulated_boxes.h"
#include "iox_version.h"

namespace iox::mqtt {

namespace {

struct Refused {
    std::string message;
};

// "MODEL[,SN]", as ioxctl takes it.
sim::BoxConfig simulatedBox(const std::string& text, std::size_t index)
{
    std::string error;
    auto box = boxes::parseSimulateOption(text, index, "--simulate", error);
    if (!box)
        throw Refused{error};
    return *box;
}

void splitBroker(const std::string& broker, Options& options)
{
    const auto colon = broker.rfind(':');
    options.host = broker.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string port = broker.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(port) < 1 || std::stoi(port) > 65535)
            throw Refused{"--broker: port must be 1 to 65535, got \"" + port + "\""};
        options.port = std::stoi(port);
    }
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

}  // namespace

ParsedOptions parseOptions(int argc, const char* const* argv)
{
    Options options;
    std::string broker = "localhost:1883";
    std::vector<std::string> simulate;
    bool noDiscovery = false;
    CLI::App app{"iox-mqtt: puts every USB To I/O box on an MQTT broker", "iox-mqtt"};
    const std::string version = std::string("iox-mqtt ") + kVersion;
    app.set_version_flag("--version", version);
    app.set_config("--config", "", "Read options from FILE (key = value, the long option names)");
    app.add_option("--broker", broker, "Broker HOST[:PORT] (default localhost:1883)");
    app.add_option("--username", options.username, "User name at the broker");
    app.add_option("--password-file", options.passwordFile, "File whose first line is the password")->check(CLI::ExistingFile);
    app.add_option("--tls-ca", options.tlsCa, "CA certificate (PEM): connect with TLS")->check(CLI::ExistingFile);
    app.add_option("--tls-cert", options.tlsCert, "Client certificate (PEM)")->check(CLI::ExistingFile);
    app.add_option("--tls-key", options.tlsKey, "Client key (PEM)")->check(CLI::ExistingFile);
    app.add_option("--client-id", options.clientId, "MQTT client id (default: one the library makes)");
    app.add_option("--prefix", options.prefix, "Topic prefix (default iox)");
    app.add_option("--discovery-prefix", options.discoveryPrefix, "Home Assistant discovery prefix (default homeassistant)");
    app.add_flag("--no-discovery", noDiscovery, "Publish no Home Assistant discovery messages");
    app.add_option("--sn", options.serials, "Serve only the box with this serial number (repeatable)");
    app.add_option("--poll-ms", options.pollMs, "Poll interval in milliseconds (default 5)")->check(CLI::Range(1, 60000));
    app.add_flag("--read-only", options.readOnly, "Publish state only; refuse every command");
    app.add_option("--simulate", simulate, "Serve a simulated box MODEL[,SN] (repeatable)")->take_all();
    app.add_option("--trace", options.tracePath, "Write every report to FILE (out|in SN <65 hex bytes>)");
    app.add_option("--record", options.recordPath, "Record every call to the boxes into FILE, for a bug report");
    app.footer("Exit codes: 0 stopped by SIGTERM or SIGINT; 1 other failure; 2 bad option; 3 broker unreachable;\n"
               "4 credentials refused; 5 TLS failure.");
    try {
        app.parse(argc, argv);
        if (noDiscovery)
            options.discovery = false;
        splitBroker(broker, options);
        if (options.prefix.empty() || options.prefix.find_first_of("#+") != std::string::npos ||
            options.prefix.back() == '/')
            throw Refused{"--prefix: not a topic prefix: \"" + options.prefix + "\""};
        if (!options.passwordFile.empty())
            options.password = firstLine(options.passwordFile);
        if (options.tlsCert.empty() != options.tlsKey.empty())
            throw Refused{"--tls-cert and --tls-key go together"};
        for (std::size_t i = 0; i < simulate.size(); ++i)
            options.simulate.push_back(simulatedBox(simulate[i], i));
    } catch (const CLI::CallForHelp&) {
        return {std::nullopt, 0, app.help()};
    } catch (const CLI::CallForVersion&) {
        return {std::nullopt, 0, version};
    } catch (const CLI::ParseError& error) {
        return {std::nullopt, static_cast<int>(Exit::BadArgument), error.what()};
    } catch (const Refused& refused) {
        return {std::nullopt, static_cast<int>(Exit::BadArgument), refused.message};
    }
    return {options, 0, {}};
}

}  // namespace iox::mqtt
