#include "wait_command.h"

#include <cstdio>

#include "boxes/wait.h"
#include "device_commands.h"

namespace iox::ctl {

Exit runWait(USB_IO& device, const WaitCommand& command, const Environment& env)
{
    boxes::Wait wait;
    wait.condition = boxes::lineAt(command.line, command.high);
    wait.timeout = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(command.seconds));
    wait.stop = [&env] { return env.stopRequested(); };
    const boxes::WaitOutcome outcome = boxes::waitUntil(device, wait);
    const std::string reading = command.line.name() + (command.high ? " high" : " low");
    switch (outcome.end) {
    case boxes::WaitEnd::Held: {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", std::chrono::duration<double>(outcome.waited).count());
        env.out << seconds << '\n';
        return Exit::Ok;
    }
    case boxes::WaitEnd::TimedOut:
        env.err << "ioxctl: " << command.line.name() << " did not read " << (command.high ? "high" : "low")
                << " within " << command.seconds << " s\n";
        return Exit::WaitTimedOut;
    case boxes::WaitEnd::Stopped:
        env.err << "ioxctl: stopped by a signal before " << reading << '\n';
        return Exit::Interrupted;
    case boxes::WaitEnd::Unanswered:
        break;
    }
    return notAnswering(env, "wait");
}

}  // namespace iox::ctl
