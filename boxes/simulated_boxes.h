#pragma once
// Simulated boxes as a command line names them: "MODEL,SN" for iox-demo's --box (any model
// name, so that a box reporting an unknown model can be tried) and "MODEL[,SN]" for the
// --simulate option of ioxctl and ioxd (one of the known models; a box without a
// serial number gets 10001, 10002... by its position).

#include <cstddef>
#include <optional>
#include <string>

#include "device/sim/sim_box.h"

namespace iox::boxes {

// `option` names the option in the error ("--box needs MODEL,SN ...").
std::optional<sim::BoxConfig> parseBoxOption(const std::string& text, const std::string& option, std::string& error);
std::optional<sim::BoxConfig> parseSimulateOption(const std::string& text, std::size_t index, const std::string& option,
                                                  std::string& error);
// A box of a known model with a serial number of 1 to 20 characters, for the Python module.
std::optional<sim::BoxConfig> simulatedBox(const std::string& model, const std::string& serial, std::string& error);

}  // namespace iox::boxes
