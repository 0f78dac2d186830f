#include "box_spec.h"

#include <algorithm>

namespace iox::sim {

namespace {

constexpr std::size_t kMaxTextAnswer = 20;  // what a box's text answer can carry

}  // namespace

bool isKnownModel(const std::string& model)
{
    return std::find(std::begin(kModels), std::end(kModels), model) != std::end(kModels);
}

std::optional<BoxConfig> parseBoxSpec(const std::string& text, const std::string& option, std::string& error)
{
    const auto comma = text.find(',');
    if (comma == std::string::npos) {
        error = option + " needs MODEL,SN (for example IOX-MODEL-D,20001), got \"" + text + "\"";
        return std::nullopt;
    }
    BoxConfig box;
    box.model = text.substr(0, comma);
    box.serial = text.substr(comma + 1);
    if (box.model.empty() || box.serial.empty()) {
        error = option + " needs a model name and a serial number, got \"" + text + "\"";
        return std::nullopt;
    }
    if (box.model.size() > kMaxTextAnswer || box.serial.size() > kMaxTextAnswer) {
        error = option + ": model name and serial number hold at most 20 characters, got \"" + text + "\"";
        return std::nullopt;
    }
    if (box.serial.find(' ') != std::string::npos) {
        error = option + ": a serial number cannot contain a blank, got \"" + text + "\"";
        return std::nullopt;
    }
    return box;
}

std::optional<BoxConfig> parseSimulatedBox(const std::string& text, std::size_t index, const std::string& option,
                                           std::string& error)
{
    const std::string full = text.find(',') == std::string::npos ? text + "," + std::to_string(10001 + index) : text;
    auto box = parseBoxSpec(full, option, error);
    if (box && !isKnownModel(box->model)) {
        error = option + ": unknown model \"" + box->model + "\" (IOX-MODEL-A, IOX-MODEL-B, IOX-MODEL-C or IOX-MODEL-D)";
        return std::nullopt;
    }
    return box;
}

}  // namespace iox::sim
