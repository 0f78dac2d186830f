#pragma once
// Reads a firmware image file once, whole, and checks it before the box is touched: a file
// that cannot be read, one too large to be an image, one with nothing to send, or one with
// a line that a single request cannot carry is refused with a message for the operator.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image_lines.h"

namespace iox::firmware {

// Largest file taken as an image; the box's flash is a small fraction of this.
inline constexpr std::int64_t kMaxImageBytes = 16 * 1024 * 1024;
// Bytes of one line that a line request carries (bytes 1 to 63 of the report).
inline constexpr std::size_t kMaxLineBytes = 63;

struct FirmwareImage {
    std::string text;                // the whole file, byte for byte
    std::vector<ImageLine> lines;    // what goes to the bootloader, in order

    std::size_t length() const { return text.size(); }
    std::string_view lineText(const ImageLine& line) const { return firmware::lineText(text, line); }
};

struct ImageFileResult {
    std::optional<FirmwareImage> image;
    QString error;  // the refusal the operator sees, when there is no image
};

// Checks a text already read; the file's path only names it in the messages.
ImageFileResult checkImageText(std::string text, const QString& path);
ImageFileResult readImageFile(const QString& path);

}  // namespace iox::firmware
