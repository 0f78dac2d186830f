// ioxd's options, from the command line and from the configuration file.
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "options.h"

namespace iox::ioxd::test {
namespace {

// What a row expects of the options taken: host, port, prefix, read-only and the simulated boxes.
std::string summary(const Options& o)
{
    std::string text = o.host + " " + std::to_string(o.port) + " " + o.prefix + (o.readOnly ? " ro" : "");
    for (const auto& box : o.simulate)
        text += " " + box.model + "," + box.serial;
    for (const auto& [serial, name] : o.names)
        text += " " + serial + "=" + name;
    if (!o.http.address.empty())
        text += std::string(o.mqtt ? "" : " no-mqtt") + " http " + o.http.address + " " + std::to_string(o.http.port);
    return text;
}

TEST(MqttOptions, FileAndCommandLineAreCheckedAlikeAndABadSettingNamesItsLine)
{
    const struct {
        const char* file;  // nullptr: no --config
        std::vector<std::string> args;
        std::string expected;  // the summary, or the start of the refusal, after "FILE:"
    } rows[] = {
        {"read-only = true\nsimulate = IOX-MODEL-C,10001\nsimulate = IOX-MODEL-B,7\n", {},
         "localhost 1883 iox ro IOX-MODEL-C,10001 IOX-MODEL-B,7"},
        {"# a comment\n\nprefix = \"iox/rig3\"\nread-only = no\n", {"--prefix", "lab"}, "localhost 1883 lab"},
        {"read_only = true\n", {}, "1: unknown key \"read_only\" (did you mean read-only?)"},
        {"readonly = true\n", {}, "1: unknown key \"readonly\""},
        {"\nread-only = maybe\n", {}, "2: \"read-only\" is true or false, not \"maybe\""},
        {"poll-ms = fast\n", {}, "1: \"poll-ms\": "},
        {"broker = a\nbroker = b\n", {}, "2: \"broker\" is set twice (also on line 1)"},
        {"simulate = IOX-MODEL-Q\n", {}, "1: \"simulate\": "},
        {"broker\n", {}, "1: not a \"key = value\" line"},
        {nullptr, {"--broker", "[::1]:1884"}, "::1 1884 iox"},
        {nullptr, {"--broker", "[fe80::1]"}, "fe80::1 1883 iox"},
        {nullptr, {"--broker", "::1"}, "::1 1883 iox"},
        {nullptr, {"--broker", "[::1]x"}, "--broker: not [IPV6]:PORT"},
        {nullptr, {"--broker", "host:0"}, "--broker: port must be 1 to 65535"},
        {nullptr, {"--password-file", "FILE"}, "--password-file needs --username"},
        {"name = 10001=rig 3\nname = 10002=Prüfstand\n", {"--no-mqtt", "--http", "[::1]:8080"},
         "localhost 1883 iox 10001=rig 3 10002=Prüfstand no-mqtt http ::1 8080"},
        {nullptr, {"--name", "10001"}, "--name: SN=TEXT"},
        {nullptr, {"--name", "10001=\xff"}, "--name: not UTF-8"},
        {nullptr, {"--no-mqtt"}, "--no-mqtt needs --http"},
        {nullptr, {"--http", "0.0.0.0:8080"}, "--http on 0.0.0.0 (not loopback) needs --http-password-file"},
        {nullptr, {"--http", "0.0.0.0:8080", "--http-password-file", "FILE"}, "--http on 0.0.0.0 (not loopback) needs --http-tls"},
        {nullptr, {"--http", "0.0.0.0:8080", "--http-password-file", "FILE", "--http-insecure"},
         "localhost 1883 iox http 0.0.0.0 8080"},
        {nullptr, {"--http", "127.foo.example:8080"}, "--http on 127.foo.example (not loopback) needs --http-password"},
    };
    const std::string path = ::testing::TempDir() + "ioxd-options.conf";
    for (const auto& row : rows) {
        std::vector<std::string> words{"ioxd"};
        std::ofstream(path) << (row.file ? row.file : "password\n");
        if (row.file)
            words.insert(words.end(), {"--config", path});
        for (const auto& arg : row.args)
            words.push_back(arg == "FILE" ? path : arg);
        std::vector<const char*> argv;
        for (const auto& word : words)
            argv.push_back(word.c_str());
        const ParsedOptions parsed = parseOptions(static_cast<int>(argv.size()), argv.data());
        if (parsed.options) {
            EXPECT_EQ(summary(*parsed.options), row.expected) << words.back();
        } else {
            EXPECT_EQ(parsed.code, static_cast<int>(Exit::BadArgument));
            const std::string where = row.file ? path + ":" : "";
            EXPECT_THAT(parsed.message, ::testing::StartsWith(where + row.expected)) << words.back();
        }
    }
    std::ofstream(path) << "\nsecret\n";  // an empty password would let everybody in
    const char* empty[] = {"ioxd", "--http", "127.0.0.1:8080", "--http-password-file", path.c_str()};
    EXPECT_THAT(parseOptions(5, empty).message, ::testing::EndsWith("\" is empty"));
}

}  // namespace
}  // namespace iox::ioxd::test
