#pragma once
// ioxd's command line, also readable from a config file (--config FILE, same keys).

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/sim/sim_box.h"

namespace iox::ioxd {

// Exit codes, one per cause, so that a service manager or a script can tell them apart.
enum class Exit : int {
    Ok = 0,
    Failure = 1,         // anything else (another bridge on the prefix, a port taken...)
    BadArgument = 2,     // a refused option; nothing was started
    Unreachable = 3,     // no broker at that address, or no answer from it
    Credentials = 4,     // the broker refused the username or password
    Tls = 5,             // TLS could not be set up or the handshake failed
};

// The web face: off unless an address is given.
struct HttpOptions {
    std::string address;  // empty: no web face
    int port = 0;
    std::string user = "iox", password;     // password: read from passwordFile
    std::string passwordFile;
    std::string tlsCert, tlsKey;
    bool insecure = false;                  // plain HTTP beyond loopback, said at start
    std::vector<std::string> hostNames;     // more names the Host header may give
};

struct Options {
    bool mqtt = true;
    HttpOptions http;
    std::map<std::string, std::string> names;  // serial -> the name people give the box
    std::string host = "localhost";
    int port = 1883;
    std::string username, passwordFile, password;  // password: read from passwordFile
    std::string tlsCa, tlsCert, tlsKey;
    std::string clientId;
    std::string prefix = "iox";
    std::string discoveryPrefix = "homeassistant";
    bool discovery = true;
    std::vector<std::string> serials;  // empty: every box
    int pollMs = 5;
    bool readOnly = false;
    std::vector<sim::BoxConfig> simulate;
    std::string tracePath;
    std::string recordPath;  // empty: no recording
};

struct StartResult {
    Exit code = Exit::Ok;
    std::string message;  // one line naming the cause, when code is not Ok
};

struct ParsedOptions {
    std::optional<Options> options;  // empty: exit with code, after printing message
    int code = 0;
    std::string message;  // --help or --version text (code 0), or the refusal
};

ParsedOptions parseOptions(int argc, const char* const* argv);

// Any 127.x.x.x address, ::1 or localhost: an address only this machine reaches.
bool isLoopback(const std::string& address);

}  // namespace iox::ioxd
