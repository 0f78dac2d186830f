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
    image.text = std::move(text);
    image.lines = cutImageLines(image.text);
    if (image.lines.empty())
        return refused(QStringLiteral("The Firmware file holds no firmware lines: ") + name);
    for (std::size_t i = 0; i < image.lines.size(); ++i) {
        if (image.lines[i].length > kMaxLineBytes)
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
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return refused(QStringLiteral("The Firmware file cannot be read: ") + name);
    if (file.size() > kMaxImageBytes)
        return refused(QStringLiteral("The Firmware file is too large (more than 16 MiB): ") + name);
    // Read straight into the text the image keeps, so that the file is held once. A file
    // that is shorter or longer than its size said is being written: not an image to send.
    std::string text(static_cast<std::size_t>(file.size()), '\0');
    char extra = 0;
    if (file.read(text.data(), file.size()) != file.size() || file.read(&extra, 1) != 0)
        return refused(QStringLiteral("The Firmware file cannot be read: ") + name);
    return checkImageText(std::move(text), path);
}

}  // namespace iox::firmware
