#include "box_json.h"

namespace iox::boxes {

std::string latin1ToUtf8(std::string_view text)
{
    std::string utf8;
    utf8.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8.push_back(c);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return utf8;
}

BoxFacts listedFacts(const Identity& box)
{
    BoxFacts facts;
    facts.path = box.path;
    facts.openable = box.opened;
    facts.answering = box.answered;
    if (box.answered) {
        facts.serial = box.serial;
        facts.model = box.model;
        facts.firmware = box.firmware;
        facts.sharedSerial = box.sharedSerial;
    }
    return facts;
}

nlohmann::ordered_json boxJson(const BoxFacts& facts)
{
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
    const auto text = [&](const char* key, const std::optional<std::string>& value) {
        if (value)
            json[key] = latin1ToUtf8(*value);
    };
    const auto flag = [&](const char* key, const std::optional<bool>& value) {
        if (value)
            json[key] = *value;
    };
    text("serial", facts.serial);
    text("model", facts.model);
    if (facts.name)
        json["name"] = *facts.name;  // given by people, in UTF-8 already
    if (facts.firmware)
        json["firmware"] = {{"revision", latin1ToUtf8(facts.firmware->revision)}, {"level", facts.firmware->level}};
    text("path", facts.path);
    flag("online", facts.online);
    flag("updating", facts.updating);
    flag("openable", facts.openable);
    flag("answering", facts.answering);
    flag("shared_serial", facts.sharedSerial);
    if (facts.outputA || facts.outputB) {
        auto& directions = json["directions"];
        for (const auto& [port, output] : {std::pair{"A", facts.outputA}, std::pair{"B", facts.outputB}})
            if (output)
                directions[port] = *output ? "output" : "input";
    }
    if (const auto& state = facts.state) {
        if (state->read.a)
            json["A"] = state->a;
        if (state->read.b)
            json["B"] = state->b;
        if (state->read.relays)
            json["relays"] = state->relays;
    }
    return json;
}

nlohmann::ordered_json modelJson(const Model& model)
{
    const auto port = [](const PortLayout& layout) {
        return nlohmann::ordered_json{{"lines", layout.lines}, {"fixed", layout.fixed}, {"input", layout.input}};
    };
    nlohmann::ordered_json lines = nlohmann::ordered_json::array(), choices = nlohmann::ordered_json::array();
    for (const Line& line : model.serialLines)
        lines.push_back(line.name());
    for (const Line& line : model.serialLineChoices())
        choices.push_back(line.name());
    return {{"name", model.name},
            {"switches", model.switches == Switches::Relays ? "relays" : "24V outputs"},
            {"relays", model.relays},
            {"A", port(model.a)},
            {"B", port(model.b)},
            {"serial_lines", lines},
            {"serial_line_choices", choices}};
}

}  // namespace iox::boxes
