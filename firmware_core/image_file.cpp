#include "image_file.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "hex_records.h"

namespace iox::firmware {

namespace {

constexpr char kNotTouched[] = "\r\nNothing was sent to the USB IO.";

ImageFileResult refused(const std::string& text, std::size_t line = 0)
{
    return {std::nullopt, text + kNotTouched, line};
}

}  // namespace

bool isFirmwareFilePath(std::string_view path)
{
    constexpr std::string_view name = "USB_IO_Firmware_";
    for (std::size_t at = path.find(name); at != std::string_view::npos; at = path.find(name, at + 1)) {
        if (at > 0 && (path[at - 1] == '\\' || path[at - 1] == '/'))
            return true;
    }
    return false;
}

ImageFileResult checkImageText(std::string text, const std::string& path)
{
    // Only what is sent is judged: the text after the last cut never goes (Ctrl-Z or blanks
    // after the end-of-file record, as older tools leave them, change nothing).
    std::vector<ImageLine> lines = cutImageLines(text);
    const std::size_t sentEnd = sentLength(lines);
    // A text that is not an image (a source file saved under an image's name) would be cut
    // into lines all the same, and the bootloader would refuse one after the box's reset.
    if (const auto problem = firstImageLineProblem(std::string_view(text).substr(0, sentEnd)))
        return refused("Line " + std::to_string(problem->line) + " of the Firmware file is not an Intel HEX record (" +
                           problem->text + "): " + path,
                       problem->line);
    // A file cut short loses its end-of-file record: its last data line would be the text
    // that is not sent, and the box would take a firmware without it.
    const bool endSent = std::any_of(lines.begin(), lines.end(), [](const ImageLine& line) { return line.endOfFileRecord; });
    if (!lines.empty() && !endSent && !std::string_view(text).substr(sentEnd).starts_with(kEndOfFileRecord))
        return refused("The Firmware file " + path + " has no end-of-file record: the file may be cut short");
    FirmwareImage image;
    image.text = std::move(text);
    image.lines = std::move(lines);
    if (image.lines.empty())
        return refused("The Firmware file holds no firmware lines: " + path);
    for (std::size_t i = 0; i < image.lines.size(); ++i) {
        if (image.lines[i].length > kMaxLineBytes)
            return refused("Line " + std::to_string(i + 1) + " of the Firmware file is longer than " +
                               std::to_string(kMaxLineBytes) + " characters: " + path,
                           i + 1);
    }
    return {std::move(image), {}};
}

ImageFileResult readImageFile(const std::filesystem::path& path)
{
    const std::string name = path.string();
    const auto cannotRead = [&] { return refused("The Firmware file cannot be read: " + name); };
    std::error_code error;
    // Only a regular file has a size to trust: a folder or a device is no image.
    if (path.empty() || !std::filesystem::is_regular_file(path, error))
        return cannotRead();
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        return cannotRead();
    if (size > static_cast<std::uintmax_t>(kMaxImageBytes))
        return refused("The Firmware file is too large (more than 16 MiB): " + name);
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return cannotRead();
    // Read straight into the text the image keeps, so that the file is held once. A file
    // that is shorter or longer than its size said is being written: not an image to send.
    std::string text(static_cast<std::size_t>(size), '\0');
    file.read(text.data(), static_cast<std::streamsize>(size));
    if (static_cast<std::uintmax_t>(file.gcount()) != size || file.peek() != std::ifstream::traits_type::eof())
        return cannotRead();
    return checkImageText(std::move(text), name);
}

}  // namespace iox::firmware
