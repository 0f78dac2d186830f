#pragma once
// The commands the network faces take, named by words with a text payload: the words are
// what follows a box's serial number in an MQTT topic (without its "set") or in a web
// address ("relay", "3"), the payload is the message or the request's body. One vocabulary,
// read in full before anything reaches a box: a refusal gives the shared reason and sends
// nothing. What the box's model allows is the worker's to check.

#include <cstddef>
#include <string_view>
#include <variant>
#include <vector>

#include "box_command.h"

namespace iox::boxes {

// Payloads above this size are refused unread.
inline constexpr std::size_t kMaxCommandPayload = 4096;

// The words of a topic or a path: the texts between its slashes.
std::vector<std::string_view> slashWords(std::string_view text);

// Blanks and line ends around the payload are dropped; ON, OFF, output and input in any case.
std::variant<BoxCommand, CommandRefusal> parseCommandWords(const std::vector<std::string_view>& words,
                                                          std::string_view payload);

}  // namespace iox::boxes
