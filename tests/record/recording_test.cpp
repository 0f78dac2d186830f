// The recording format and the replay, without windows: a random command sequence
// recorded and replayed, recordings refused at load, and the stop at a differing request.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "device/record/recording_backend.h"
#include "device/record/replay_backend.h"
#include "device/sim/sim_backend.h"
#include "device/usb_io.h"
#include "tests/device/wire_table.h"

namespace iox::record {
namespace {

std::string tempPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()))).string();
}

// Runs `count` random commands (seeded) on the box "20002" and writes what the program saw.
std::string randomSession(HidBackend& bus, unsigned seed, int count = 60)
{
    USB_IO io(bus);
    io.setExchangeTimeout(std::chrono::milliseconds(5));
    std::ostringstream seen;
    std::string list;
    seen << io.Get_Available_SN_List(list) << ' ' << list << ' ' << io.Connect("20002") << '\n';
    std::mt19937 random(seed);
    for (int i = 0; i < count; ++i) {
        const auto value = static_cast<std::uint8_t>(random());
        const std::string line = std::string(1, "AB"[value & 1]) + std::to_string(value >> 5);
        std::uint8_t read = 0;
        switch (random() % 4) {
        case 0: seen << io.Set_RelayByte(value); break;
        case 1: seen << io.Set_TTLBit(line, value & 1); break;
        case 2: seen << io.Read_Relays_Byte(read) << '=' << int(read); break;
        case 3: seen << io.ReadBit(line, read) << '=' << int(read); break;
        }
        seen << ' ';
    }
    io.Disconnect();
    return seen.str();
}

TEST(Recording, ReplaysARandomSessionWithExactlyTheRecordedRequests)
{
    sim::SimBackend sim;
    sim.addInterface(0x046d, 0xc31c, false);  // a keyboard that cannot be opened
    sim.addBox({.model = "IOX-MODEL-C", .serial = "10001"});
    sim.addBox({.model = "IOX-MODEL-D", .serial = "20002"});
    const std::string path = tempPath("round_trip.rec");
    std::string recorded;
    {
        auto wrapped = wrapForRecording(sim, path, "record_tests");
        ASSERT_TRUE(wrapped.backend) << wrapped.error;
        recorded = randomSession(*wrapped.backend, 7);
    }
    auto replay = openReplay(path);
    ASSERT_TRUE(replay.backend) << replay.error;
    EXPECT_EQ(randomSession(*replay.backend, 7), recorded);
    EXPECT_TRUE(replay.backend->complete()) << replay.backend->stopReport();
    std::filesystem::remove(path);
}

TEST(Recording, StopsAtTheFirstDifferenceAndFailsFromThenOn)
{
    const std::string header = headerLine("t", "1") + "\n";
    const Report relay = testing::request(0x22, {5});
    auto loaded = parseRecording(header + "1 enumerate 1 2b4e:0021:p%20q\n2 open p%20q 4\n3 write 4 ok " +
                                     hexBytes(relay) + "\n4 read 4 100 ok " + hexBytes(relay) + "\n",
                                 "r.rec");
    ASSERT_TRUE(loaded.recording) << loaded.error;
    std::vector<std::string> reports;
    ReplayBackend replay(*loaded.recording, "r.rec", {.onStop = [&](const std::string& r) { reports.push_back(r); }});
    ASSERT_EQ(replay.enumerate().at(0).path, "p q");
    ASSERT_EQ(replay.open("p q"), 4);
    const Report wrong = testing::request(0x22, {6});
    EXPECT_FALSE(replay.write(4, wrong));
    EXPECT_FALSE(replay.write(4, relay)) << "not even the recorded request is served after the stop";
    Report answer{};
    EXPECT_FALSE(replay.read(4, answer, std::chrono::milliseconds(100)));
    EXPECT_TRUE(replay.enumerate().empty());
    EXPECT_EQ(reports, std::vector<std::string>{"replay of r.rec stopped at line 4: the recording has\n  write 4 " +
                                                hexBytes(relay) + "\nbut the program did\n  write 4 " +
                                                hexBytes(wrong) + "\n  (first difference at byte 2)\n"});
}

TEST(Recording, RefusedAtLoadWithTheLine)
{
    struct Refusal { std::string text; std::string error; bool bare = false; };  // after a good header unless `bare`
    const std::string zeros = hexBytes(Report{});
    const std::vector<Refusal> cases = {
        {"iox-recording 2 program=x\n", "1: recording format \"2\" is not the version 1 this program reads", true},
        {"", "1: the recording is empty", true},
        {"out 10001 00\n", "1: not a recording (the first line must begin with \"iox-recording\")", true},
        {"1 open a 1\n2 write 1 ok 00 22", "3: the line is cut short (truncated recording)"},
        {"1 read 1 5 ok 00 22\n", "2: expected 65 report bytes, found 2"},
        {"1 write 1 ok 0g" + zeros.substr(2) + "\n", "2: bad report byte \"0g\""},
        {"1 open a 1\n2 flush 1\n", "3: unknown call \"flush\""},
        {"5 close 1\n4 close 1\n", "3: time stamp 4 goes back before 5"},
        {"1 enumerate 2 2b4e:0021:a\n", "2: 2 interfaces announced, 1 listed"},
        {"1 close 1 x\n", "2: unexpected text \"x\" at the end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const LoadResult loaded = parseRecording((c.bare ? "" : headerLine("t", "1") + "\n") + c.text, "r.rec");
        EXPECT_FALSE(loaded.recording);
        EXPECT_EQ(loaded.error, "r.rec line " + c.error);
    }
}

TEST(Recording, AFileMissingOrCutIsRefusedWithItsName)
{
    const std::string path = tempPath("cut.rec");
    EXPECT_EQ(openReplay(path).error, "cannot read the recording \"" + path + "\"");
    std::ofstream(path) << headerLine("t", "1") << "\n1 open a 1\n2 write 1 ok 00 22";
    EXPECT_EQ(openReplay(path).error, path + " line 3: the line is cut short (truncated recording)");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace iox::record
