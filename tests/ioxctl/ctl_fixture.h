#pragma once
// ioxctl run in-process against a simulated bus, with its output captured.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "environment.h"
#include "run.h"
#include "tests/device/sim_fixture.h"

namespace iox::ctl::testing {

using iox::testing::boxWith;
using iox::testing::request;

class Ctl : public ::testing::Test {
protected:
    Ctl()
    {
        env.bus = &bus;
        env.exchangeTimeout = std::chrono::milliseconds(50);
        env.lineBound = std::chrono::milliseconds(50);
        env.sleep = [this](std::chrono::milliseconds) {
            ++pauses;
            if (onPause)
                onPause(pauses);
        };
    }

    int ctl(std::vector<std::string> args)
    {
        out.str({});
        err.str({});
        return run(args, env);
    }

    std::vector<int> codesSent(std::size_t box = 0) const { return iox::testing::codesTo(bus, box); }

    sim::SimBackend bus;
    std::ostringstream out, err;
    Environment env{out, err};
    int pauses = 0;
    std::function<void(int)> onPause;
};

}  // namespace iox::ctl::testing
