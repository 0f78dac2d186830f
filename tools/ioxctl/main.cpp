// ioxctl: the command-line tool over the device library, for scripts and test rigs.

#include <csignal>
#include <iostream>

#include <unistd.h>

#include "run.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int) { g_interrupted = 1; }

}  // namespace

int main(int argc, char** argv)
{
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    iox::ctl::Environment env{std::cout, std::cerr};
    env.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    env.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    env.interrupted = [] { return g_interrupted != 0; };
    return iox::ctl::run({argv + 1, argv + argc}, env);
}
