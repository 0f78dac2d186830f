#pragma once
// A simulated box named on a command line: "MODEL,SN" for iox-demo's --box (any model
// name, so that a box reporting an unknown model can be tried) and "MODEL[,SN]" for the
// --simulate option of ioxctl and iox-mqtt (one of the four models; a box without a serial
// number gets 10001, 10002... by its position).

#include <cstddef>
#include <optional>
#include <string>

#include "sim_box.h"

namespace iox::sim {

inline constexpr const char* kModels[] = {"IOX-MODEL-A", "IOX-MODEL-B", "IOX-MODEL-C", "IOX-MODEL-D"};

bool isKnownModel(const std::string& model);

// `option` names the option in the error ("--box needs MODEL,SN ...").
std::optional<BoxConfig> parseBoxSpec(const std::string& text, const std::string& option, std::string& error);
std::optional<BoxConfig> parseSimulatedBox(const std::string& text, std::size_t index, const std::string& option,
                                           std::string& error);

}  // namespace iox::sim
