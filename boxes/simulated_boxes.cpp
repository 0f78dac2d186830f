#include "simulated_boxes.h"

#include "models.h"

namespace iox::boxes {

namespace {

constexpr std::size_t kMaxTextAnswer = 20;  // what a box's text answer can carry

std::string unknownModel(const std::string& model)
{
    return "unknown model \"" + model + "\" (" + knownModelList() + ")";
}

}  // namespace

std::optional<sim::BoxConfig> parseBoxOption(const std::string& text, const std::string& option, std::string& error)
{
    const auto comma = text.find(',');
    if (comma == std::string::npos) {
        error = option + " needs MODEL,SN (for example IOX-MODEL-D,20001), got \"" + text + "\"";
        return std::nullopt;
    }
    sim::BoxConfig box;
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

std::optional<sim::BoxConfig> parseSimulateOption(const std::string& text, std::size_t index, const std::string& option,
                                                  std::string& error)
{
    const std::string full = text.find(',') == std::string::npos ? text + "," + std::to_string(10001 + index) : text;
    auto box = parseBoxOption(full, option, error);
    if (box && !findModel(box->model)) {
        error = option + ": " + unknownModel(box->model);
        return std::nullopt;
    }
    return box;
}

std::optional<sim::BoxConfig> simulatedBox(const std::string& model, const std::string& serial, std::string& error)
{
    if (!findModel(model)) {
        error = unknownModel(model);
        return std::nullopt;
    }
    if (serial.empty() || serial.size() > kMaxTextAnswer) {
        error = "a serial number is 1 to 20 characters, got \"" + serial + "\"";
        return std::nullopt;
    }
    sim::BoxConfig config;
    config.model = model;
    config.serial = serial;
    return config;
}

}  // namespace iox::boxes
