#pragma once
// A box as JSON, the one shape every front end prints: what is known of it, each field only
// when known. Texts that boxes send are Latin-1; they go out as UTF-8 (a name is people's,
// UTF-8 already).
//
//   {"serial": "10001", "model": "IOX-MODEL-C", "name": "rig 3",
//    "firmware": {"revision": "A3", "level": 3}, "path": "/dev/hidraw3",
//    "online": true, "updating": false, "openable": true, "answering": true, "shared_serial": false,
//    "directions": {"A": "output", "B": "input"}, "A": 90, "B": 0, "relays": 9}

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "identity.h"
#include "models.h"
#include "state.h"

namespace iox::boxes {

struct BoxFacts {
    std::optional<std::string> serial, model, name;
    std::optional<Firmware> firmware;
    std::optional<std::string> path;
    std::optional<bool> online, updating;
    std::optional<bool> openable, answering, sharedSerial;  // as a listing finds the box
    std::optional<bool> outputA, outputB;                   // the ports' directions
    std::optional<State> state;                             // the parts it read
};

// The facts a listing gathered: path and whether the box opened and answered, and, when it
// answered, what it said.
BoxFacts listedFacts(const Identity& box);

nlohmann::ordered_json boxJson(const BoxFacts& facts);

// A model's row of the model table, for a face that draws the box's panel:
//   {"name": "IOX-MODEL-B", "switches": "24V outputs", "relays": 2,
//    "A": {"lines": 0, "fixed": true, "input": false}, "B": {...},
//    "serial_lines": ["B0", "B1", "B2"], "serial_line_choices": ["B0", ...]}
nlohmann::ordered_json modelJson(const Model& model);

std::string latin1ToUtf8(std::string_view text);

}  // namespace iox::boxes
