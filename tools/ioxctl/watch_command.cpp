#include "watch_command.h"

#include <nlohmann/json.hpp>

#include <optional>

#include "device_commands.h"
#include "text_format.h"

namespace iox::ctl {

namespace {

struct Levels {
    std::uint8_t a = 0, b = 0, relays = 0;
    bool operator==(const Levels&) const = default;
};

std::optional<Levels> poll(USB_IO& device)
{
    Levels levels;
    if (device.ReadByteA(levels.a) != 1 || device.ReadByteB(levels.b) != 1 ||
        device.Read_Relays_Byte(levels.relays) != 1)
        return std::nullopt;
    return levels;
}

void print(const Levels& levels, bool json, const Environment& env)
{
    if (json)
        env.out << nlohmann::json{{"A", levels.a}, {"B", levels.b}, {"relays", levels.relays}}.dump();
    else
        env.out << "A " << bits(levels.a) << "  B " << bits(levels.b) << "  relays " << bits(levels.relays);
    env.out << std::endl;  // a reader at the other end of a pipe sees each change at once
}

}  // namespace

Exit runWatch(USB_IO& device, const WatchCommand& command, bool json, const Environment& env)
{
    using clock = std::chrono::steady_clock;
    std::optional<clock::time_point> deadline;
    if (command.seconds)
        deadline = clock::now() + std::chrono::duration_cast<clock::duration>(
                                      std::chrono::duration<double>(*command.seconds));
    std::optional<Levels> last;
    unsigned printed = 0;
    while (!env.stopRequested()) {
        const auto levels = poll(device);
        if (!levels)
            return notAnswering(env, "watch");
        if (!last || *levels != *last) {
            print(*levels, json, env);
            last = levels;
            if (command.count && ++printed >= *command.count)
                break;
        }
        if (deadline && clock::now() >= *deadline)
            break;
        env.pause(std::chrono::milliseconds(command.intervalMs));
    }
    return Exit::Ok;
}

}  // namespace iox::ctl
