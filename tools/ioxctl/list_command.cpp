#include "list_command.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <map>

#include "box_finder.h"
#include "text_format.h"

namespace iox::ctl {

namespace {

struct Row {
    BoxIdentity box;
    bool sharedSerial = false;
};

std::string note(const Row& row)
{
    if (!row.box.opened)
        return "cannot be opened (see ioxctl doctor)";
    if (!row.box.answered)
        return "not answering";
    if (row.sharedSerial)
        return "serial number shared with another box: pick it with --path";
    return {};
}

void printJson(const std::vector<Row>& rows, const Environment& env)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Row& row : rows) {
        const BoxIdentity& box = row.box;
        nlohmann::ordered_json entry{{"path", latin1ToUtf8(box.path)}, {"openable", box.opened}, {"answering", box.answered}};
        if (box.answered) {
            entry["serial"] = latin1ToUtf8(box.serial);
            entry["model"] = latin1ToUtf8(box.model);
            entry["firmware"] = {{"revision", latin1ToUtf8(box.revision)}, {"level", box.level}};
            entry["shared_serial"] = row.sharedSerial;
        }
        list.push_back(std::move(entry));
    }
    env.out << list.dump(2) << '\n';
}

void printTable(const std::vector<Row>& rows, const Environment& env)
{
    std::vector<std::array<std::string, 5>> cells{{"SN", "MODEL", "FIRMWARE", "PATH", ""}};
    for (const Row& row : rows) {
        const BoxIdentity& box = row.box;
        if (box.answered)
            cells.push_back({printable(box.serial), printable(box.model),
                             printable(box.revision) + " (level " + std::to_string(box.level) + ")",
                             printable(box.path), note(row)});
        else
            cells.push_back({"-", "-", "-", printable(box.path), note(row)});
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
    std::vector<Row> rows;
    std::map<std::string, int> serials;
    for (const auto& path : boxPaths(bus)) {
        rows.push_back({identify(bus, path, env, true)});
        if (rows.back().box.answered)
            ++serials[rows.back().box.serial];
    }
    for (Row& row : rows)
        row.sharedSerial = row.box.answered && serials[row.box.serial] > 1;

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
