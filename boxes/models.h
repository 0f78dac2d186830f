#pragma once
// What each model of box offers, one row a model: its relays or 24 V outputs, the lines of
// each port and which directions are fixed, the serial output's default lines and the
// lowest firmware level that takes an update. Every front end reads the boxes' layout here.

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace iox::boxes {

// One port line: 'A' or 'B' and its bit, 0 to 7.
struct Line {
    char port = 'A';
    int bit = 0;
    std::string name() const { return std::string{port, static_cast<char>('0' + bit)}; }
    bool operator==(const Line&) const = default;
};

enum class Switches { Relays, Outputs24V };

struct PortLayout {
    int lines = 8;       // lines 0 to lines - 1; 0: the model has no such port
    bool fixed = false;  // its direction cannot be changed
    bool input = false;  // starts as input (and stays so when fixed)
};

struct Model {
    std::string_view name;  // as the box reports it; empty for a box of no known model
    int relays = 8;         // relays (or 24 V outputs) 0 to relays - 1
    Switches switches = Switches::Relays;
    PortLayout a, b;
    std::array<Line, 3> serialLines;  // clock, data and latch unless others are chosen
    int lowestUpdatableLevel = 3;

    const PortLayout& port(char letter) const { return letter == 'A' ? a : b; }
    bool hasLine(const Line& line) const { return line.bit < port(line.port).lines; }
    // The lines a serial word may use: those of every port that can be an output.
    std::vector<Line> serialLineChoices() const;
};

// The four models, in name order.
std::span<const Model> knownModels();
// The row of a model name (exact and case-sensitive), or nullptr.
const Model* findModel(std::string_view name);
// The row of a model name; a box of no known model is taken to have everything a box may
// have, nothing fixed.
const Model& modelOrAnyBox(std::string_view name);
// "IOX-MODEL-A, IOX-MODEL-B, IOX-MODEL-C or IOX-MODEL-D"
std::string knownModelList();

}  // namespace iox::boxes
