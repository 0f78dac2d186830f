#pragma once
// The checks that every value meant for a box passes before anything is sent, each with one
// code and one reason text. A front end turns the code into its own form (an exit code, an
// exception, an error message on a topic) and shows the reason as it is; it may add a note
// on its own syntax.
//
// Numbers come either as numbers or as texts of decimal digits; a text that is no number
// gets the same reason as a number out of range. Line and port names take their letter in
// either case ("a3" is A3). A model, where given, narrows a check to what that model has;
// nullptr allows everything any model has.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "models.h"

namespace iox::boxes {

enum class Rule {
    Relay,           // relay (or 24 V output) number
    Line,            // line name, or a line number within a port
    MissingLine,     // a line the model does not have
    InputLine,       // a line the model fixes as an input, where one is driven
    Port,            // port letter
    MissingPort,     // a port the model does not have
    FixedDirection,  // a port whose direction the model fixes
    Byte,            // a port or relay byte
    Word,            // a serial-output word
    PulseLength,     // a timed pulse, in ms
    PulseWidth,      // the serial clock's pulse width, in us
    SerialLines,     // clock, data and latch: three different lines
};

struct Refusal {
    Rule rule;
    std::string reason;
};

// A checked value or the refusal of it.
template <class T>
class Checked {
public:
    Checked(T value) : m_value(std::move(value)) {}
    Checked(Refusal refusal) : m_refusal(std::move(refusal)) {}
    explicit operator bool() const { return m_value.has_value(); }
    const T& operator*() const { return *m_value; }
    const T* operator->() const { return &*m_value; }
    const Refusal& refusal() const { return *m_refusal; }

private:
    std::optional<T> m_value;
    std::optional<Refusal> m_refusal;
};

// The refusal of a value by a rule that does not depend on the model: the reason, an
// optional note in parentheses (a front end's own syntax) and the value as given.
Refusal refuse(Rule rule, std::string_view given, std::string_view note = {});

Checked<int> checkRelay(long long relay, const Model* model = nullptr);
Checked<int> checkRelay(std::string_view text, const Model* model = nullptr);
Checked<Line> checkLine(std::string_view name, const Model* model = nullptr);
Checked<Line> checkLine(char port, long long bit, const Model* model = nullptr);
Checked<Line> checkLine(char port, std::string_view bit, const Model* model = nullptr);
Checked<char> checkPort(std::string_view letter, const Model* model = nullptr);
// A port the model has and whose direction may change.
std::optional<Refusal> checkDirectionChange(char port, const Model* model);
Checked<std::uint8_t> checkByte(long long value);
Checked<std::uint8_t> checkByte(std::string_view text);
// 1 to maxBits characters '0' and '1': kSpiOutMaxBits for SPI_OUT, kSpiOutTriggMaxBits for
// SPI_OUT_Trigg.
Checked<std::string> checkWord(std::string_view word, std::size_t maxBits);
Checked<int> checkPulseLength(long long ms);
Checked<int> checkPulseLength(std::string_view text);
Checked<int> checkPulseWidth(long long us);
Checked<int> checkPulseWidth(std::string_view text);
// Clock, data and latch by name, lines the model can drive; an empty name takes the model's
// default line.
Checked<std::array<Line, 3>> checkSerialLines(const std::array<std::string_view, 3>& names, const Model* model);

// A value as a reason shows it: quoted, at most 40 characters, control characters as '?'.
std::string shown(std::string_view text);

}  // namespace iox::boxes
