// list (text and JSON), and watch's change lines.

#include <nlohmann/json.hpp>

#include "ctl_fixture.h"
#include "exit_codes.h"

namespace iox::ctl::testing {
namespace {

TEST_F(Ctl, ListDescribesEveryBoxAndFlagsSharedSerialNumbers)
{
    bus.addBox(boxWith("7", "IOX-MODEL-A"));
    bus.addBox(boxWith("7", "IOX-MODEL-D"));
    bus.addBox(boxWith("8"));
    ASSERT_EQ(ctl({"list", "--json"}), 0) << err.str();
    // Each box's fields and their JSON are the shared rules' (selection_test, state_test).
    const auto listed = nlohmann::json::parse(out.str());
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[1], nlohmann::json::parse(R"({"path": "sim:box1", "openable": true, "answering": true,
        "serial": "7", "model": "IOX-MODEL-D", "firmware": {"revision": "A3", "level": 3}, "shared_serial": true})"));
    ASSERT_EQ(ctl({"list"}), 0);
    EXPECT_NE(out.str().find("sim:box1  serial number shared with another box: pick it with --path"),
              std::string::npos)
        << out.str();
}

TEST_F(Ctl, WithNoBoxListPrintsAnEmptyArrayAndDoctorSaysSo)
{
    EXPECT_EQ(ctl({"list", "--json"}), code(Exit::NoBox));
    EXPECT_TRUE(nlohmann::json::parse(out.str()).empty());
    EXPECT_EQ(ctl({"doctor"}), code(Exit::NoBox));
    EXPECT_NE(out.str().find("problem: no box on the bus"), std::string::npos);
}

TEST_F(Ctl, WatchPrintsALineOnlyWhenALevelChangesAsTextOrJsonAndEndsOnInterruptOrSilence)
{
    bus.addBox(boxWith("1"));
    ASSERT_EQ(ctl({"port", "A", "in"}), 0);
    // The inputs change after every second pause: polls in between print nothing.
    onPause = [this](int pause) {
        if (pause % 2 == 0)
            bus.box(0).setInputA(static_cast<std::uint8_t>(pause));
    };
    ASSERT_EQ(ctl({"watch", "--count", "3"}), 0) << err.str();
    EXPECT_EQ(out.str(),
              "A 00000000  B 00000000  relays 00000000\n"
              "A 00000010  B 00000000  relays 00000000\n"
              "A 00000100  B 00000000  relays 00000000\n");
    EXPECT_EQ(pauses, 4);

    // As JSON lines, until interrupted.
    pauses = 0;
    env.signalCount = [this] { return pauses >= 2 ? 1 : 0; };
    ASSERT_EQ(ctl({"port", "B", "in"}), 0);
    onPause = [this](int pause) { bus.box(0).setInputB(static_cast<std::uint8_t>(pause)); };
    ASSERT_EQ(ctl({"--json", "watch"}), 0);
    EXPECT_EQ(out.str(), "{\"A\":4,\"B\":0,\"relays\":0}\n{\"A\":4,\"B\":1,\"relays\":0}\n");
    env.signalCount = {};
    onPause = [this](int) { bus.faults(0).silent = true; };
    EXPECT_EQ(ctl({"watch"}), code(Exit::NotAnswering));
}

}  // namespace
}  // namespace iox::ctl::testing
