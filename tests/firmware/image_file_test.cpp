// Reading and checking an image file before anything goes to the box.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <string>

#include "firmware/image_file.h"

namespace iox::firmware {
namespace {

const std::string kEof = ":00000001FF\r\n";
std::string recordOf(std::size_t n) { return ":" + std::string(n - 3, 'A') + "\r\n"; }

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

}  // namespace
}  // namespace iox::firmware
