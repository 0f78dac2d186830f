// Image files before anything goes to the box: reading and checking them, their HEX
// records, cutting them into lines, and the bootloader's line request and answer.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/commands.h"
#include "device/sim/sim_backend.h"
#include "firmware_core/bootloader_protocol.h"
#include "firmware_core/hex_records.h"
#include "firmware_core/image_file.h"
#include "firmware_core/image_lines.h"

namespace iox::firmware {
namespace {

using namespace std::chrono_literals;

const std::string kData = ":0400000001020304F2\r\n";
const std::string kEof = ":00000001FF\r\n";
// A data record of zero bytes, exactly n characters long with its line end: CR LF for odd
// n, LF for even.
std::string recordOf(std::size_t n)
{
    const int bytes = static_cast<int>(n - 12 - n % 2) / 2;
    char head[10];
    char sum[3];
    std::snprintf(head, sizeof head, ":%02X000000", bytes);
    std::snprintf(sum, sizeof sum, "%02X", (0x100 - bytes) & 0xFF);
    return head + std::string(2 * bytes, '0') + sum + (n % 2 == 1 ? "\r\n" : "\n");
}

// A ':' or ';' past a line's first two characters cuts it off and starts the next; the
// text after the last cut is not sent. "(end)": the line is taken for the end-of-file
// record, whose mark is case-sensitive. The cuts' positions are checked through the
// progress shown in update_test.
TEST(LineCutter, SendsTheLinesBetweenCuts)
{
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {kData + kEof, {kData}}, {kData + kEof + ";comment\r\n", {kData, kEof + "(end)"}},
        {kData + ":00000001ff\r\n:", {kData, ":00000001ff\r\n"}}, {":01\r\n;02\r\n:03", {":01\r\n", ";02\r\n"}},
        {":AB:CD", {":AB"}}, {"::AB:CD", {"::AB"}}, {":AB::CD:", {":AB", "::CD"}}, {kData, {}}, {"", {}},
        {"hello\r\n", {}}, {recordOf(63) + kEof, {recordOf(63)}}, {recordOf(64) + kEof, {recordOf(64)}}};
    for (const auto& [text, lines] : cases) {
        std::vector<std::string> sent;
        for (const auto& line : cutImageLines(text))
            sent.push_back(std::string(lineText(text, line)) + (line.endOfFileRecord ? "(end)" : ""));
        EXPECT_EQ(sent, lines) << text;
    }
}

class ImageFile : public ::testing::Test {
protected:
    ImageFile() { std::filesystem::create_directories(dir); }
    ~ImageFile() override { std::filesystem::remove_all(dir); }
    std::string write(const std::string& name, const std::string& bytes)
    {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("iox_image_" + std::to_string(::getpid()));
};

// Real images: 16-byte records, extended address records, either case, CR LF or LF,
// comments and blank lines, and what older tools leave after the end-of-file record (Ctrl-Z,
// blanks), which is never sent; each is cut as it always was.
TEST(RealImage, PassesTheRecordCheck)
{
    const std::string lf = ":020000040000FA\n:10000000000102030405060708090a0b0c0d0e0f78\n\n:00000001FF\n";
    for (const std::string& text : {lf, "; built for A1\r\n" + kData + "\r\n" + kData + kEof, kData + recordOf(62) + kEof,
                                     kData + kEof + "\x1A", kData + kEof + "  \r\n\r\n", kData + kEof + "; end\r\n"}) {
        const auto result = checkImageText(text, "x.hex");
        ASSERT_TRUE(result.image) << result.error;
        EXPECT_EQ(result.image->lines.size(), cutImageLines(text).size());
    }
}

TEST(FirmwareFilePath, NamesAnImageRightAfterAFolder)
{
    const std::pair<const char*, bool> paths[] = {
        {"C:\\Data\\USB_IO_Firmware_A1.hex", true}, {"C:\\Data\\usb_io_firmware_A1.hex", false},
        {"C:\\Data\\Firmware_A1.hex", false}, {"C:\\USB_IO_Firmware_old\\x.hex", true},
        {"/home/op/USB_IO_Firmware_A1.hex", true}, {"/home/op/MyUSB_IO_Firmware_A1.hex", false},
        {"USB_IO_Firmware_A1.hex", false}, {"/home/op/USB_IO_FIRMWARE_A1.hex", false},
        {"/a/xUSB_IO_Firmware_1/USB_IO_Firmware_2", true}, {"", false}};
    for (const auto& [path, accepted] : paths)
        EXPECT_EQ(isFirmwareFilePath(path), accepted) << path;
}

TEST(ImageText, RefusalTellsTheOperatorWhy)
{
    const std::string notHex = " of the Firmware file is not an Intel HEX record (";
    const std::pair<std::string, std::string> refusals[] = {
        {recordOf(64) + kEof, "Line 1 of the Firmware file is longer than 63"},
        {recordOf(21) + recordOf(71) + kEof, "Line 2 of the Firmware file is longer than 63"},
        {"", "holds no firmware lines"},
        {recordOf(21), "holds no firmware lines"},
        // Cut short: the last data record is the text after the last cut, which is not sent.
        {kData + kData, "x.hex has no end-of-file record: the file may be cut short"},
        // A C source saved under an image's name: short lines holding ':'.
        {"int a;\nx: y;\n:z\n", "Line 1" + notHex + "does not start with ':')"},
        {kData + ":0400000001020304F3\r\n" + kEof, "Line 2" + notHex + "checksum is 0xf3, the record needs 0xf2)"},
        {kData + kData + ":0300000001020304F2\r\n" + kEof, "Line 3" + notHex + "byte count says 3"},
        {kData + ":00000001FF \r\n" + kEof, "Line 2" + notHex + "character 12 is not a hex digit)"},
        {kData + ":0000000\r\n" + kEof, "Line 2" + notHex + "holds an odd number of hex digits)"},
        {"\r\n" + kData + kEof, "Line 1" + notHex + "is blank before the first record)"},
        {kData + "; built 12:30\r\n" + kEof, "Line 2" + notHex + "is a comment holding ':')"}};
    for (const auto& [text, says] : refusals) {
        const auto result = checkImageText(text, "x.hex");
        EXPECT_FALSE(result.image) << says;
        EXPECT_NE(result.error.find(says), std::string::npos) << result.error;
        EXPECT_NE(result.error.find("x.hex"), std::string::npos) << result.error;
        EXPECT_NE(result.error.find("\r\nNothing was sent to the USB IO."), std::string::npos) << result.error;
        // The line the message names, for the scripting module's FirmwareError.line.
        const auto at = result.error.find("Line ");
        EXPECT_EQ(result.line, at == 0 ? std::stoul(result.error.substr(5)) : 0u) << result.error;
    }
}

// The bytes are taken as they are; a file that cannot be read, or is larger than 16 MiB, is refused.
TEST_F(ImageFile, TakesTheBytesAsTheyAreUpToSixteenMiB)
{
    // Bytes outside ASCII in a comment, and a line of 63 characters: the longest one taken.
    const std::string data = ";\xA5\x7F\r\n" + recordOf(63);
    const auto taken = readImageFile(write("USB_IO_Firmware_A1.hex", data + kEof));
    ASSERT_TRUE(taken.image) << taken.error;
    EXPECT_EQ(taken.image->length(), data.size() + kEof.size());
    ASSERT_EQ(taken.image->lines.size(), 2u);
    EXPECT_EQ(std::string(taken.image->lineText(taken.image->lines[0])) + std::string(taken.image->lineText(taken.image->lines[1])), data);
    for (const std::string& path : {(dir / "missing.hex").string(), dir.string(), std::string()}) {
        const auto result = readImageFile(path);
        EXPECT_FALSE(result.image);
        EXPECT_EQ(result.error.rfind("The Firmware file cannot be read: " + path, 0), 0u) << path;
    }

    std::string big = recordOf(41) + kEof;
    big.resize(static_cast<std::size_t>(kMaxImageBytes) + 1, '\n');
    const auto result = readImageFile(write("big.hex", big));
    EXPECT_FALSE(result.image);
    EXPECT_EQ(result.error.rfind("The Firmware file is too large", 0), 0u) << result.error;

    big.resize(static_cast<std::size_t>(kMaxImageBytes));
    EXPECT_TRUE(readImageFile(write("fits.hex", big)).image) << "exactly 16 MiB is taken";
}

// The whole-file checks of the HEX check command; the record's own problems are refused above.
TEST(HexRecords, NameTheLineAndItsProblem)
{
    const std::string k16 = ":100000000C9434000C9446000C9446000C9446006A\r\n";
    const std::tuple<std::string, std::size_t, std::string> cases[] = {
        {k16 + ":0100000600F9\r\n" + kEof, 2, "unknown record type 0x06"},
        {k16 + ":01000004FFFC\r\n" + kEof, 2, "a type 0x04 record carries 2 data bytes, not 1"},
        {k16, 1, "no end-of-file record (:00000001FF)"},
        {k16 + kEof + k16, 3, "record after the end-of-file record"}};
    for (const auto& [text, line, problem] : cases) {
        const HexRecords found = checkHexRecords(text);
        ASSERT_EQ(found.problems.size(), 1u) << problem;
        EXPECT_EQ(found.problems[0].line, line);
        EXPECT_EQ(found.problems[0].text, problem);
    }
}

// The simulated bootloader answers image lines only, and its end-of-file line starts the
// firmware; the link takes the echo's status, passes stale reports over, and fails on silence.
TEST(Bootloader, TheAnswerIsTheEchoStatusAndSilenceIsAFailedRead)
{
    sim::SimBackend bus;
    bus.addBox({});
    bus.box(0).enterBootloader();
    const HidHandle handle = bus.open(bus.pathOf(0));
    BootloaderLink link{bus};
    link.setAnswerBounds(20ms, 20ms);
    Report answer{};
    ASSERT_TRUE(bus.write(handle, Report{0, cmd::ReadSn}));
    EXPECT_FALSE(bus.read(handle, answer, 5ms));
    EXPECT_EQ(link.SendFirmwareLine(handle, kEof), 'F');
    EXPECT_FALSE(bus.box(0).inBootloader());

    bus.box(0).enterBootloader();
    bus.queueStale(0, Report{0, 0x99, 'O'});
    bus.box(0).setLineAnswer([](const std::string&, std::size_t) { return std::uint8_t{'X'}; });
    EXPECT_EQ(link.SendFirmwareLine(handle, ":00\r\n"), 'X') << "the stale report is passed over";
    EXPECT_EQ(bus.box(0).bootloaderLines(), (std::vector<std::string>{":00\r\n"}));

    bus.faults(0).silent = true;
    bus.queueStale(0, Report{0, 0x99, 'O'});
    EXPECT_EQ(link.SendFirmwareLine(handle, ":00\r\n"), 0) << "a stale report's byte 2 is no answer";
    bus.clearLog();
    EXPECT_EQ(link.SendFirmwareLine(0, ":00\r\n"), 0);
    EXPECT_TRUE(bus.log().empty()) << "no handle, nothing sent";
}

}  // namespace
}  // namespace iox::firmware
