#pragma once
// The levels of the clock, data and LE lines while a simulated box shifts out one serial
// word: plain data, which the timing diagram draws and tests check.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace iox::simbox {

// One level per step of half a clock period (one pulse width); the three lines have the
// same number of steps. The word goes out with LE low: for each bit the data line takes
// the bit while the clock is low and holds it through the clock's high half, so each rising
// clock edge samples one bit. After the last bit the clock stays low and LE is high for a
// whole period, latching the word. One idle step (all low) comes before and after.
struct SpiWaveform {
    std::vector<bool> clock, data, le;
    std::vector<std::uint8_t> bits;  // the word as sent, one digit value per bit

    std::size_t steps() const { return clock.size(); }
};

// Any non-zero digit drives the data line high.
SpiWaveform spiWaveform(const std::vector<std::uint8_t>& bits);

}  // namespace iox::simbox
