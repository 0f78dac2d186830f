// The backend stack: which bottom each option gives, the layers above it in their order,
// the trace's names for boxes, and the refusals when a file cannot be used.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "boxes/backend_stack.h"
#include "boxes/identity.h"
#include "device/commands.h"
#include "device/record/replay_backend.h"
#include "device/sim/sim_backend.h"
#include "tests/device/sim_fixture.h"

namespace iox::boxes {
namespace {

using iox::testing::boxWith;

std::string readAll(const std::filesystem::path& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> traceNames(const std::vector<std::string>& lines)
{
    std::vector<std::string> names;
    for (const auto& line : lines)
        names.push_back(line.substr(0, line.find(' ', line.find(' ') + 1)));
    return names;
}

// A simulated box is traced by its serial number from the first report; a box on the
// caller's own bus by its path until it has answered its serial number.
TEST(BackendStack, TracesBoxesByTheirSerialNumberOrByPathUntilTheyAnswerIt)
{
    sim::SimBackend own;  // outlives the stacks over it
    own.addBox(boxWith("555"));
    std::vector<std::string> lines;
    StackOptions options;
    options.simulated = {boxWith("10001"), boxWith("20002", "IOX-MODEL-D")};
    options.trace = traceLines([&](const std::string& line) { lines.push_back(line); });
    auto built = BackendStack::build(options);
    ASSERT_TRUE(built.stack) << built.error;
    ASSERT_NE(built.stack->simulated(), nullptr);
    EXPECT_EQ(built.stack->replay(), nullptr);
    EXPECT_EQ(identify(built.stack->bus(), "sim:box1", Ask::Serial).serial, "20002");
    EXPECT_EQ(traceNames(lines), (std::vector<std::string>{"out 20002", "in 20002"}));
    EXPECT_EQ(lines[0].substr(0, 15), "out 20002 00 29");  // report ID, then the request's code, 41
    EXPECT_EQ(lines[0].size(), std::string("out 20002").size() + 65 * 3);

    lines.clear();
    options.simulated.clear();
    options.bus = &own;
    built = BackendStack::build(options);
    ASSERT_TRUE(built.stack);
    EXPECT_EQ(built.stack->simulated(), nullptr);  // the caller's own bus
    identify(built.stack->bus(), "sim:box0", Ask::Everything);
    EXPECT_EQ(traceNames(lines), (std::vector<std::string>{"out sim:box0", "in 555", "out 555", "in 555", "out 555",
                                                           "in 555"}));
}

TEST(BackendStack, RecordsUnderTheTraceAndReplaysWhatItRecorded)
{
    const auto dir = std::filesystem::temp_directory_path() / ("iox-stack-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto recording = (dir / "session.rec").string();
    {
        StackOptions options;
        options.program = "stack-test";
        options.simulated = {boxWith("10001")};
        options.record = recording;
        auto built = BackendStack::build(options);
        ASSERT_TRUE(built.stack) << built.error;
        EXPECT_EQ(identify(built.stack->bus(), "sim:box0", Ask::Everything).model, "IOX-MODEL-C");
    }
    EXPECT_NE(readAll(recording).find("stack-test"), std::string::npos);

    StackOptions replay;
    replay.replay = recording;
    auto built = BackendStack::build(replay);
    ASSERT_TRUE(built.stack) << built.error;
    ASSERT_NE(built.stack->replay(), nullptr);
    const Identity box = identify(built.stack->bus(), "sim:box0", Ask::Everything);
    EXPECT_EQ(box.firmware->revision, "A3");
    EXPECT_TRUE(built.stack->replay()->complete());
    std::filesystem::remove_all(dir);
}

TEST(BackendStack, RefusesFilesItCannotUse)
{
    StackOptions replay;
    replay.replay = "/nonexistent/missing.rec";
    EXPECT_FALSE(BackendStack::build(replay).error.empty());
    StackOptions record;
    record.simulated = {boxWith("1")};
    record.record = "/nonexistent/dir/out.rec";
    EXPECT_FALSE(BackendStack::build(record).error.empty());
    EXPECT_FALSE(traceIntoFile("/nonexistent/dir/trace.txt").has_value());
}

}  // namespace
}  // namespace iox::boxes
