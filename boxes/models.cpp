#include "models.h"

#include <algorithm>

#include "firmware_core/firmware_update.h"

namespace iox::boxes {

namespace {

constexpr int kLevel = firmware::kLowestUpdatableLevel;
constexpr std::array<Line, 3> kPortBSerial{Line{'B', 0}, Line{'B', 1}, Line{'B', 2}};

// name, relays, switches, port A {lines, fixed, input}, port B, serial lines, level
const Model kModels[] = {
    {"IOX-MODEL-A", 0, Switches::Relays, {8, false, false}, {0, true, false}, {Line{'A', 0}, Line{'A', 1}, Line{'A', 2}}, kLevel},
    {"IOX-MODEL-B", 2, Switches::Outputs24V, {0, true, false}, {4, true, false}, kPortBSerial, kLevel},
    {"IOX-MODEL-C", 8, Switches::Relays, {8, false, false}, {8, false, false}, kPortBSerial, kLevel},
    {"IOX-MODEL-D", 8, Switches::Relays, {8, true, true}, {8, false, false}, kPortBSerial, kLevel},
};

const Model kAnyBox{"", 8, Switches::Relays, {8, false, false}, {8, false, false}, kPortBSerial, kLevel};

}  // namespace

std::vector<Line> Model::serialLineChoices() const
{
    std::vector<Line> lines;
    for (const char letter : {'A', 'B'}) {
        const PortLayout& layout = port(letter);
        if (layout.fixed && layout.input)
            continue;
        for (int bit = 0; bit < layout.lines; ++bit)
            lines.push_back({letter, bit});
    }
    return lines;
}

std::span<const Model> knownModels() { return kModels; }

const Model* findModel(std::string_view name)
{
    const auto* row = std::find_if(std::begin(kModels), std::end(kModels), [&](const Model& m) { return m.name == name; });
    return row == std::end(kModels) ? nullptr : row;
}

const Model& modelOrAnyBox(std::string_view name)
{
    const Model* row = findModel(name);
    return row ? *row : kAnyBox;
}

std::string knownModelList()
{
    std::string list;
    const auto models = knownModels();
    for (std::size_t i = 0; i < models.size(); ++i)
        list += std::string(i == 0 ? "" : i + 1 == models.size() ? " or " : ", ") + std::string(models[i].name);
    return list;
}

}  // namespace iox::boxes
