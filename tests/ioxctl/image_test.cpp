// hex-check's findings, and flash against the simulated bootloader: success, refused files
// that send nothing, and the failures after the box was handed over.

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "ctl_fixture.h"
#include "device/commands.h"
#include "doctor_command.h"
#include "exit_codes.h"

namespace iox::ctl::testing {
namespace {

constexpr char kData[] = ":100000000C9434000C9446000C9446000C9446006A\r\n";
constexpr char kEnd[] = ":00000001FF\r\n";

class Image : public Ctl {
protected:
    ~Image() override { std::filesystem::remove_all(m_dir); }

    std::string file(const std::string& text, const std::string& name = "USB_IO_Firmware_1.hex")
    {
        std::filesystem::create_directories(m_dir);
        std::ofstream(m_dir / name, std::ios::binary) << text;
        return (m_dir / name).string();
    }

    const std::filesystem::path m_dir =
        std::filesystem::temp_directory_path() / ("ioxctl_" + std::to_string(::getpid()));
};

// Named relative to the current folder, as the name test must take it.
TEST_F(Image, HexCheckPassesAGoodImageAndSaysWhatWouldBeSent)
{
    const std::filesystem::path image = file(std::string(kData) + kData + kEnd);
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(image.parent_path());
    const int exit = ctl({"hex-check", image.filename().string(), "--json"});
    std::filesystem::current_path(before);
    EXPECT_EQ(exit, 0) << out.str();
    auto report = nlohmann::json::parse(out.str());
    report.erase("file");
    EXPECT_EQ(report, nlohmann::json::parse(R"({"records": 3, "data_bytes": 32, "end_record": true, "problems": [],
        "flash_accepts": true, "would_send": {"lines": 2, "bytes": 90, "end_record_sent": false,
        "unsent_tail": ":00000001FF\r\n"}})"));
    EXPECT_TRUE(bus.log().empty());
}

TEST_F(Image, HexCheckListsEveryLineARequestCannotCarry)
{
    const std::string longRecord = ":20000000" + std::string(64, '0') + "E0\r\n";
    EXPECT_EQ(ctl({"hex-check", file(longRecord + kData + longRecord + kEnd)}), code(Exit::ImageRefused));
    EXPECT_NE(out.str().find("line 1: image line of 77 characters"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("line 3: image line of 77 characters"), std::string::npos);
    EXPECT_NE(out.str().find("flash refuses this file"), std::string::npos);
}

TEST_F(Image, FlashRefusedFileSendsNothing)
{
    bus.addBox(boxWith("10001"));
    // Not an image's name, and no such file.
    const auto missing = std::filesystem::temp_directory_path() / "USB_IO_Firmware_missing.hex";
    for (const std::string& path : {file(std::string(kData) + kEnd, "firmware.hex"), missing.string()}) {
        EXPECT_EQ(ctl({"flash", path}), code(Exit::ImageRefused)) << path;
        EXPECT_NE(err.str().find("Nothing was sent to the USB IO."), std::string::npos) << err.str();
    }
    EXPECT_TRUE(bus.log().empty());
    EXPECT_EQ(bus.openCalls(), 0u);
}

// Flash to the end, or a stop: the bootloader refusing a line, a box whose firmware takes no
// update, SIGINT or SIGTERM counted at the update's waits. The box comes back at its second
// reopen attempt, so the update asks about stopping once more before its first line.
struct FlashCase {
    const char* name;
    Exit exit;
    std::string says;   // on stdout or stderr
    std::size_t lines;  // taken by the bootloader
    std::function<int(int pauses)> signals = {};
    std::uint8_t level = 3;
    std::size_t refusedLine = 0;  // answered 'X'; 0: none
};

class Flash : public Image, public ::testing::WithParamInterface<FlashCase> {};

TEST_P(Flash, EndsWhereNoBoxIsLeftBehindUnasked)
{
    const FlashCase& c = GetParam();
    auto config = boxWith("10001");
    config.firmware[0] = c.level;
    bus.addBox(config);
    bus.faults(0).failedOpensAfterReset = 1;
    if (c.refusedLine)
        bus.box(0).setLineAnswer([&c](const std::string&, std::size_t i) -> std::uint8_t { return i == c.refusedLine ? 'X' : 'O'; });
    if (c.signals)
        env.signalCount = [this, &c] { return c.signals(pauses); };
    EXPECT_EQ(ctl({"flash", file(std::string(kData) + kData + kEnd + ";\r\n")}), code(c.exit));
    EXPECT_NE((out.str() + err.str()).find(c.says), std::string::npos) << out.str() << err.str();
    EXPECT_EQ(bus.box(0).bootloaderLines().size(), c.lines);
    if (c.exit == Exit::Interrupted || c.exit == Exit::NotUpdatable) {
        EXPECT_EQ(codesSent(), (std::vector<int>{cmd::ReadSn, cmd::GetExtFirmware}));
    }
}

const char kWarning[] = "stopping now would leave it there until it takes a good image; the update goes on";

INSTANTIATE_TEST_SUITE_P(
    Ends, Flash,
    ::testing::Values(
        FlashCase{"ToTheEnd", Exit::Ok, "progress 100% (3 lines sent)\nThe New Firmware was succesfully updated", 3},
        FlashCase{"ALineRefused", Exit::UpdateFailed, "line 2 of 3 was answered with status 88", 2, {}, 3, 1},
        FlashCase{"FirmwareTakesNoUpdate", Exit::NotUpdatable, "takes no update", 0, {}, 2},
        FlashCase{"SignalBeforeTheReset", Exit::Interrupted, "stopped before the update began; nothing more was sent", 0,
                  [](int) { return 1; }},
        FlashCase{"SignalOnceInTheBootloader", Exit::Ok, kWarning, 3, [](int p) { return std::min(p, 1); }},
        FlashCase{"TwoSignalsAtOnceOnlyWarn", Exit::Ok, kWarning, 3, [](int p) { return std::min(p, 1) * 2; }},
        FlashCase{"SignalAgainAfterTheWarning", Exit::UpdateFailed,
                  "stopped after 0 of 3 lines; the box waits in its bootloader", 0, [](int p) { return p; }}),
    [](const auto& info) { return std::string(info.param.name); });

struct DoctorCase {
    const char* name;
    bool refuseOpen, silent;
    PathAccess access;
    Exit exit;
    std::string says;
    std::string ruleFile = "";  // the one file that exists
};

class Doctor : public Ctl, public ::testing::WithParamInterface<DoctorCase> {};

TEST_P(Doctor, FindsWhyTheBoxCannotBeReached)
{
    const DoctorCase& c = GetParam();
    bus.addInterface(0x046D, 0xC31C);  // a keyboard: not a box
    bus.addBox(boxWith("10001"));
    bus.faults(0).refuseOpen = c.refuseOpen;
    bus.faults(0).silent = c.silent;
    env.pathAccess = [&c](const std::string&) { return c.access; };
    env.fileExists = [&c](const std::string& file) { return file == c.ruleFile; };
    EXPECT_EQ(ctl({"doctor"}), code(c.exit));
    EXPECT_NE(out.str().find("HID interfaces on the bus: 2, boxes among them (vendor 2b4e, product 0021): 1"),
              std::string::npos);
    EXPECT_NE(out.str().find(c.says), std::string::npos) << out.str();
}

INSTANTIATE_TEST_SUITE_P(
    Causes, Doctor,
    ::testing::Values(DoctorCase{"permissions", true, false, PathAccess::Denied, Exit::CannotOpen,
                                 std::string("create /etc/udev/rules.d/70-iox.rules holding the line\n    ") +
                                     kUdevRule},
                      DoctorCase{"held", true, false, PathAccess::Allowed, Exit::CannotOpen,
                                 "held by another program"},
                      DoctorCase{"silent", false, true, PathAccess::Allowed, Exit::NotAnswering,
                                 "does not answer within 50 ms"},
                      DoctorCase{"fine", false, false, PathAccess::Allowed, Exit::Ok,
                                 "ok: 10001, IOX-MODEL-C, firmware A3 (level 3)"},
                      DoctorCase{"rule_in_the_last_folder", true, false, PathAccess::Denied, Exit::CannotOpen,
                                 "/lib/udev/rules.d/70-iox.rules exists but", "/lib/udev/rules.d/70-iox.rules"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace iox::ctl::testing
