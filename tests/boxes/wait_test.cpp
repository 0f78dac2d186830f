// Waiting for a condition: which reads each condition asks, when it holds, and each way a
// wait ends.

#include <gtest/gtest.h>

#include "boxes/wait.h"
#include "device/commands.h"
#include "tests/device/sim_fixture.h"

namespace iox::boxes {
namespace {

using iox::testing::OneBox;

TEST_F(OneBox, AWaitReadsWhatItsConditionNeedsUntilItEnds)
{
    constexpr int A = cmd::ReadByteA, B = cmd::ReadByteB, R = cmd::ReadRelaysByte;
    State all;
    all.read = Parts{};
    all.b = 0x20;  // the inputs each row starts from
    const struct {
        const char* what;
        Condition condition;
        int inputsAfterRead;  // the inputs become A 0x08, B 0x00 after this read; 0: never
        int stopAfterRead;    // 0: never
        bool silent;
        WaitEnd end;
        std::vector<int> sent;
    } rows[] = {
        {"A3 high, met after two reads", lineAt({'A', 3}, true), 2, 0, false, WaitEnd::Held, {A, A, A}},
        {"B5 high, met at once", lineAt({'B', 5}, true), 0, 0, false, WaitEnd::Held, {B}},
        {"B5 low, never", lineAt({'B', 5}, false), 0, 0, false, WaitEnd::TimedOut, {B}},
        {"A3 high, stopped", lineAt({'A', 3}, true), 0, 2, false, WaitEnd::Stopped, {A, A}},
        {"a change", changedFrom(all), 1, 0, false, WaitEnd::Held, {A, B, R, A, B, R}},
        {"silent box", lineAt({'A', 3}, true), 0, 0, true, WaitEnd::Unanswered, {A}},
    };
    ASSERT_EQ(io.Set_ByteA_As_Input(), 1);
    ASSERT_EQ(io.Set_ByteB_As_Input(), 1);
    io.setExchangeTimeout(std::chrono::milliseconds(20));
    for (const auto& row : rows) {
        bus.box(0).setInputA(0);
        bus.box(0).setInputB(0x20);
        bus.faults(0).silent = row.silent;
        bus.clearLog();
        int reads = 0;
        Wait wait;
        wait.condition = row.condition;
        // Only the row that never stops nor changes runs into its time: one read.
        wait.timeout = row.end == WaitEnd::TimedOut ? std::chrono::seconds(0) : std::chrono::seconds(60);
        wait.stop = [&] {
            ++reads;
            if (reads == row.inputsAfterRead) {
                bus.box(0).setInputA(0x08);
                bus.box(0).setInputB(0);
            }
            return reads == row.stopAfterRead;
        };
        const WaitOutcome outcome = waitUntil(io, wait);
        EXPECT_EQ(outcome.end, row.end) << row.what;
        EXPECT_EQ(iox::testing::codesTo(bus), row.sent) << row.what;
        EXPECT_EQ(outcome.state.failed.has_value(), row.silent) << row.what;
    }
}

}  // namespace
}  // namespace iox::boxes
