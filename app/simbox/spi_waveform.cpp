#include "spi_waveform.h"

namespace iox::simbox {

namespace {

void step(SpiWaveform& w, bool clock, bool data, bool le)
{
    w.clock.push_back(clock);
    w.data.push_back(data);
    w.le.push_back(le);
}

}  // namespace

SpiWaveform spiWaveform(const std::vector<std::uint8_t>& bits)
{
    SpiWaveform w;
    w.bits = bits;
    const std::size_t steps = 2 * bits.size() + 4;
    w.clock.reserve(steps);
    w.data.reserve(steps);
    w.le.reserve(steps);
    step(w, false, false, false);
    for (const std::uint8_t bit : bits) {
        step(w, false, bit != 0, false);
        step(w, true, bit != 0, false);
    }
    step(w, false, false, true);
    step(w, false, false, true);
    step(w, false, false, false);
    return w;
}

}  // namespace iox::simbox
