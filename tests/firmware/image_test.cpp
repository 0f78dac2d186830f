// Image files before anything goes to the box: reading and checking them, cutting them
// into lines, and the bootloader's line request and answer. When sending an image stops
// is checked through the update window (fw_form_test).

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "device/sim/sim_backend.h"
#include "firmware/bootloader_protocol.h"
#include "firmware/image_file.h"
#include "firmware/image_lines.h"

namespace iox::firmware {
namespace {

using namespace std::chrono_literals;

const std::string kData = ":0400000001020304F2\r\n";
const std::string kEof = ":00000001FF\r\n";
// A record of exactly n bytes, line end included.
std::string recordOf(std::size_t n) { return ":" + std::string(n - 3, 'A') + "\r\n"; }

struct CutCase {
    const char* name;
    std::string text;
    std::vector<std::string> sent;
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

class LineCutter : public ::testing::TestWithParam<CutCase> {};

TEST_P(LineCutter, SendsTheLinesBetweenCuts)
{
    std::vector<std::string> sent;
    for (const auto& line : cutImageLines(GetParam().text))
        sent.emplace_back(lineText(GetParam().text, line));
    EXPECT_EQ(sent, GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LineCutter,
    ::testing::Values(
        CutCase{"DataThenEndOfFile", kData + kEof, {kData}},
        CutCase{"SemicolonAfterEndOfFile", kData + kEof + ";comment\r\n", {kData, kEof}},
        CutCase{"SemicolonCutsToo", ":01\r\n;02\r\n:03", {":01\r\n", ";02\r\n"}},
        CutCase{"FirstColonMakesNoCut", ":AB:CD", {":AB"}},
        CutCase{"LeadingDoubleColonStaysAtTheHead", "::AB:CD", {"::AB"}},
        CutCase{"ColonRightAfterACutMakesNone", ":AB::CD:", {":AB", "::CD"}},
        CutCase{"TextWithoutSecondStart", kData, {}},
        CutCase{"EmptyText", "", {}},
        CutCase{"NoStartAtAll", "hello\r\n", {}},
        CutCase{"SixtyThreeCharacters", recordOf(63) + kEof, {recordOf(63)}},
        CutCase{"SixtyFourCharacters", recordOf(64) + kEof, {recordOf(64)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineCutterPositions, EachLineKnowsItsCutAndOnlyTheEndOfFileRecordIsMarked)
{
    const auto lines = cutImageLines(kData + kData + kEof + ";\r\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].position(), kData.size() + 1);
    EXPECT_EQ(lines[1].position(), 2 * kData.size() + 1);
    EXPECT_FALSE(lines[1].endOfFileRecord);
    EXPECT_TRUE(lines[2].endOfFileRecord);
    EXPECT_FALSE(cutImageLines(kData + ":00000001f\r\n:")[1].endOfFileRecord) << "the search is case-sensitive";
}

class ImageFile : public ::testing::Test {
protected:
    QString write(const QString& name, const std::string& bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(ImageFile, TakesTheBytesAsTheyAre)
{
    // Bytes outside ASCII, and a line of 63 characters: the longest one taken.
    const std::string data = ":02000000\xA5\x7F" "00\r\n" + recordOf(63);
    const auto result = readImageFile(write("USB_IO_Firmware_A1.hex", data + kEof));
    ASSERT_TRUE(result.image) << result.error.toStdString();
    EXPECT_EQ(result.image->length(), data.size() + kEof.size());
    ASSERT_EQ(result.image->lines.size(), 2u);
    EXPECT_EQ(std::string(result.image->lineText(result.image->lines[0])) + std::string(result.image->lineText(result.image->lines[1])), data);
    EXPECT_EQ(result.image->lines[1].length, 63u);
}

struct Refusal {
    const char* name;
    std::string text;
    const char* says;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class RefusedText : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedText, TellsTheOperatorWhy)
{
    const auto result = checkImageText(GetParam().text, QStringLiteral("x.hex"));
    EXPECT_FALSE(result.image);
    EXPECT_TRUE(result.error.contains(QLatin1String(GetParam().says))) << result.error.toStdString();
    EXPECT_TRUE(result.error.contains(QLatin1String("Nothing was sent"))) << result.error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RefusedText,
    ::testing::Values(Refusal{"SixtyFourCharacters", recordOf(64) + kEof, "Line 1 of the Firmware file is longer than 63"},
                      Refusal{"LongSecondLine", recordOf(20) + recordOf(70) + kEof, "Line 2 of"},
                      Refusal{"Empty", "", "holds no firmware lines"},
                      Refusal{"SingleRecord", recordOf(20), "holds no firmware lines"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageFile, RefusesAFileThatCannotBeRead)
{
    for (const QString& path : {dir.filePath("missing.hex"), dir.path(), QString()}) {
        const auto result = readImageFile(path);
        EXPECT_FALSE(result.image);
        EXPECT_TRUE(result.error.startsWith(QLatin1String("The Firmware file cannot be read"))) << path.toStdString();
    }
}

TEST_F(ImageFile, RefusesAFileLargerThanSixteenMiB)
{
    std::string big = recordOf(40) + kEof;
    big.resize(static_cast<std::size_t>(kMaxImageBytes) + 1, '\n');
    const auto result = readImageFile(write("big.hex", big));
    EXPECT_FALSE(result.image);
    EXPECT_TRUE(result.error.startsWith(QLatin1String("The Firmware file is too large"))) << result.error.toStdString();

    big.resize(static_cast<std::size_t>(kMaxImageBytes));
    EXPECT_TRUE(readImageFile(write("fits.hex", big)).image) << "exactly 16 MiB is taken";
}

class Bootloader : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus.addBox({});
        bus.box(0).enterBootloader();
        handle = bus.open(bus.pathOf(0));
        ASSERT_NE(handle, 0);
        link.setAnswerBounds(20ms, 20ms);
    }

    sim::SimBackend bus;
    BootloaderLink link{bus};
    HidHandle handle = 0;
};

TEST(BootloaderRequests, LineRequestCarriesSixtyThreeBytesAtMost)
{
    const std::string line63 = ":" + std::string(60, '7') + "\r\n";
    const Report whole = lineRequest(line63);
    EXPECT_EQ(std::string(whole.begin() + 1, whole.end() - 1), line63);
    EXPECT_EQ(whole[64], 0);
    const Report cut = lineRequest(line63 + "X");
    EXPECT_EQ(std::string(cut.begin() + 1, cut.end() - 1), line63) << "the 64th character is not sent";
    EXPECT_EQ(cut[0], 0);
}

TEST_F(Bootloader, TheAnswerIsTheEchoStatusAndSilenceIsAFailedRead)
{
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
