#include "list_command.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>

#include "boxes/box_json.h"
#include "boxes/selection.h"
#include "text_format.h"

namespace iox::ctl {

namespace {

std::string note(const boxes::Identity& box)
{
    if (!box.opened)
        return "cannot be opened (see ioxctl doctor)";
    if (!box.answered)
        return "not answering";
    if (box.sharedSerial)
        return "serial number shared with another box: pick it with --path";
    return {};
}

void printJson(const std::vector<boxes::Identity>& rows, const Environment& env)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const boxes::Identity& box : rows)
        list.push_back(boxes::boxJson(boxes::listedFacts(box)));
    env.out << list.dump(2) << '\n';
}

void printTable(const std::vector<boxes::Identity>& rows, const Environment& env)
{
    std::vector<std::array<std::string, 5>> cells{{"SN", "MODEL", "FIRMWARE", "PATH", ""}};
    for (const boxes::Identity& box : rows) {
        if (box.answered)
            cells.push_back({printable(box.serial), printable(*box.model),
                             printable(box.firmware->revision) + " (level " + std::to_string(box.firmware->level) + ")",
                             printable(box.path), note(box)});
        else
            cells.push_back({"-", "-", "-", printable(box.path), note(box)});
    }
    std::array<std::size_t, 4> width{};
    for (const auto& line : cells) {
        for (std::size_t i = 0; i < width.size(); ++i)
            width[i] = std::max(width[i], line[i].size());
    }
    for (const auto& line : cells) {
        std::string text;
        for (std::size_t i = 0; i < width.size(); ++i)
            text += line[i] + std::string(width[i] - line[i].size() + 2, ' ');
        text += line[4];
        text.erase(text.find_last_not_of(' ') + 1);
        env.out << text << '\n';
    }
}

}  // namespace

Exit runList(HidBackend& bus, bool json, const Environment& env)
{
    const std::vector<boxes::Identity> rows = boxes::listBoxes(bus, boxes::Ask::Everything, env.exchangeTimeout);

    if (json)
        printJson(rows, env);
    else if (!rows.empty())
        printTable(rows, env);
    if (rows.empty()) {
        env.err << "ioxctl: no box attached\n";
        return Exit::NoBox;
    }
    return Exit::Ok;
}

}  // namespace iox::ctl
