#include "watch_command.h"

#include <optional>

#include "boxes/box_json.h"
#include "device_commands.h"
#include "text_format.h"

namespace iox::ctl {

namespace {

void print(const boxes::State& state, bool json, const Environment& env)
{
    if (json)
        env.out << boxes::boxJson({.state = state}).dump();
    else
        env.out << "A " << bits(state.a) << "  B " << bits(state.b) << "  relays " << bits(state.relays);
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
    unsigned printed = 0;
    boxes::Poll poll;
    poll.interval = std::chrono::milliseconds(command.intervalMs);
    poll.stop = [&] {
        return env.stopRequested() || (command.count && printed >= *command.count) ||
               (deadline && clock::now() >= *deadline);
    };
    poll.changed = [&](const boxes::State& state) {
        print(state, json, env);
        ++printed;
    };
    poll.pause = [&env](std::chrono::milliseconds interval) { env.pause(interval); };
    if (boxes::poll(device, poll))
        return notAnswering(env, "watch");
    return Exit::Ok;
}

}  // namespace iox::ctl
