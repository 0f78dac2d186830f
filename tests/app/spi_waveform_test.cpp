// The serial word's waveform: what a receiver clocking on rising edges and latching on LE
// would read back from the three lines.

#include <gtest/gtest.h>

#include <string>

#include "app/simbox/spi_waveform.h"

namespace iox::simbox {
namespace {

TEST(SpiWaveform, AReceiverReadsBackEveryBitThenALatch)
{
    // Any non-zero digit drives the line high.
    for (const auto& [word, readBack] : std::vector<std::pair<std::string, std::string>>{
             {"10110", "10110"}, {"", ""}, {"0000", "0000"}, {"2090", "1010"}, {std::string(56, '1'), std::string(56, '1')}}) {
        std::vector<std::uint8_t> digits(word.begin(), word.end());
        for (std::uint8_t& digit : digits)
            digit -= '0';
        const SpiWaveform w = spiWaveform(digits);
        SCOPED_TRACE("word \"" + word + "\"");
        ASSERT_EQ(w.steps(), 2 * word.size() + 4);
        ASSERT_EQ(w.data.size() + w.le.size(), 2 * w.steps());
        EXPECT_EQ(w.bits, digits);

        std::string sampled;  // the data line's level at each rising clock edge
        std::size_t lastClockHigh = 0, firstLatch = w.steps(), latchSteps = 0;
        for (std::size_t i = 0; i < w.steps(); ++i) {
            if (w.clock[i]) {
                lastClockHigh = i;
                EXPECT_FALSE(w.le[i]) << "LE must stay low while the word shifts, step " << i;
                ASSERT_GT(i, 0u) << "the clock must start low";
                EXPECT_EQ(w.data[i], w.data[i - 1]) << "data must be set up before the edge, step " << i;
                if (!w.clock[i - 1])
                    sampled += w.data[i] ? '1' : '0';
            }
            if (w.le[i]) {
                firstLatch = std::min(firstLatch, i);
                ++latchSteps;
            }
        }
        EXPECT_EQ(sampled, readBack);
        EXPECT_EQ(latchSteps, 2u);  // a whole clock period
        EXPECT_GT(firstLatch, lastClockHigh);
        // Every line rests low at both ends.
        for (const auto* line : {&w.clock, &w.data, &w.le})
            EXPECT_FALSE(line->front() || line->back());
    }
}

}  // namespace
}  // namespace iox::simbox
