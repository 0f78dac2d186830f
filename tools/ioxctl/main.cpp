// ioxctl: the command-line tool over the device library, for scripts and test rigs.

#include <csignal>
#include <iostream>

#include <unistd.h>

#include "run.h"

namespace {

// Every command ends on its own at the next point where stopping is safe: watch between
// two polls, flash before the box's reset (once the box is in its bootloader, flash goes
// on after the first signal and stops at the second). The others run one short exchange.
volatile std::sig_atomic_t g_signals = 0;

void onSignal(int) { g_signals = g_signals + 1; }

}  // namespace

int main(int argc, char** argv)
{
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    iox::ctl::Environment env{std::cout, std::cerr};
    env.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    env.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    env.signalCount = [] { return static_cast<int>(g_signals); };
    return iox::ctl::run({argv + 1, argv + argc}, env);
}
