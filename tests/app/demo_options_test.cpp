// iox-demo's command line and its report trace; the --record option of iox-controller.

#include <gtest/gtest.h>

#include "app/demo_options.h"
#include "app/record_option.h"

namespace iox::demo {
namespace {

// A successful parse in one line: the boxes, then the trace, replay and window settings.
std::string shown(const ParseResult& result)
{
    const Options o = result.options.value_or(Options{});  // a refusal shows no boxes
    std::string out;
    for (const auto& box : o.boxes)
        out += box.model + "," + box.serial + " ";
    return out + "trace=" + o.tracePath.value_or("-") + " replay=" + o.replayPath.value_or("-") +
           (o.replayTiming ? " timed" : "") + (o.simWindow ? " window" : "");
}

TEST(DemoOptions, BoxesAndTrace)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "IOX-MODEL-C,10001 trace=- replay=- window"},
        {{"--box", "IOX-MODEL-D,20001", "--trace", "t.txt", "--box", "IOX-MODEL-B,3-4"},
         "IOX-MODEL-D,20001 IOX-MODEL-B,3-4 trace=t.txt replay=- window"},
        {{"--no-sim-window", "--box", "IOX-MODEL-B,40001"}, "IOX-MODEL-B,40001 trace=- replay=-"},
        {{"--replay-timing", "--replay", "r.rec"}, "IOX-MODEL-C,10001 trace=- replay=r.rec timed window"},
    };
    for (const auto& [args, expected] : cases)
        EXPECT_EQ(shown(parseOptions(args)), expected);
}

TEST(RecordOption, TakenOutOfTheArguments)
{
    std::vector<std::string> args{"-x", "--record", "a.rec", "--record=b.rec", "-y"};
    EXPECT_EQ(app::takeRecordOption(args).path, "b.rec");
    EXPECT_EQ(args, (std::vector<std::string>{"-x", "-y"}));
    for (std::vector<std::string> bad : {std::vector<std::string>{"--record"}, {"--record="}})
        EXPECT_EQ(app::takeRecordOption(bad).error, "--record needs a file name");
}

TEST(DemoOptions, BadArgumentsAreRefusedWithAReason)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--box"}, "--box needs a value"},
        {{"--box", "IOX-MODEL-C"}, "MODEL,SN"},
        {{"--box", ",123"}, "model name and a serial number"},
        {{"--box", "IOX-MODEL-C,"}, "model name and a serial number"},
        {{"--box", "IOX-MODEL-C,123456789012345678901"}, "at most 20"},
        {{"--box", "IOX-MODEL-C,1 2"}, "blank"},
        {{"--trace"}, "--trace needs a value"},
        {{"--trace", ""}, "file name"},
        {{"--verbose"}, "unknown option"},
        {{"--no-sim-window=1"}, "unknown option"},
        {{"--record"}, "--record needs a value"},
        {{"--replay", ""}, "file name"},
        {{"--replay", "r.rec", "--box", "IOX-MODEL-C,1"}, "it takes no --box"},
        {{"--replay-timing"}, "goes with --replay"},
    };
    for (const auto& [args, reason] : cases) {
        const auto result = parseOptions(args);
        EXPECT_FALSE(result.options) << args[0];
        EXPECT_NE(result.error.find(reason), std::string::npos) << result.error;
    }
}

}  // namespace
}  // namespace iox::demo
