#include "image_file.h"

#include <QDir>
#include <QFile>

namespace iox::firmware {

namespace {

const QString kNotTouched = QStringLiteral("\r\nNothing was sent to the USB IO.");

ImageFileResult refused(const QString& text) { return {std::nullopt, text + kNotTouched}; }

}  // namespace

ImageFileResult checkImageText(std::string text, const QString& path)
{
    const QString name = QDir::toNativeSeparators(path);
    FirmwareImage image;
    image.length = text.size();
    image.lines = cutImageLines(text);
    if (image.lines.empty())
        return refused(QStringLiteral("The Firmware file holds no firmware lines: ") + name);
    for (std::size_t i = 0; i < image.lines.size(); ++i) {
        if (image.lines[i].text.size() > kMaxLineBytes)
            return refused(QStringLiteral("Line %1 of the Firmware file is longer than %2 characters: %3")
                               .arg(i + 1)
                               .arg(kMaxLineBytes)
                               .arg(name));
    }
    return {std::move(image), {}};
}

ImageFileResult readImageFile(const QString& path)
{
    const QString name = QDir::toNativeSeparators(path);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return refused(QStringLiteral("The Firmware file cannot be read: ") + name);
    if (file.size() > kMaxImageBytes)
        return refused(QStringLiteral("The Firmware file is too large (more than 16 MiB): ") + name);
    // One read more than the bound tells a file that grew since size() from one that fits.
    const QByteArray bytes = file.read(kMaxImageBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return refused(QStringLiteral("The Firmware file cannot be read: ") + name);
    if (bytes.size() > kMaxImageBytes)
        return refused(QStringLiteral("The Firmware file is too large (more than 16 MiB): ") + name);
    return checkImageText(bytes.toStdString(), path);
}

}  // namespace iox::firmware
