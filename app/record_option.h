#pragma once
// "--record FILE" for the programs that take no other options of their own.

#include <optional>
#include <string>
#include <vector>

namespace iox::app {

struct RecordOption {
    std::optional<std::string> path;  // where to record; empty: no recording
    std::string error;                // set when the option is there but unusable
};

// Takes "--record FILE" (or "--record=FILE") out of `args`, leaving the other arguments.
RecordOption takeRecordOption(std::vector<std::string>& args);

}  // namespace iox::app
