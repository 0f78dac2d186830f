#pragma once
// Reads a firmware image file once, whole, and checks it before the box is touched: a file
// that cannot be read, one too large to be an image, one whose lines are not all Intel HEX
// records, ';' comments or blank, one with nothing to send, or one with a line that a
// single request cannot carry is refused with a message for the operator.

#include <cstddef>
#include <cstdint>
#include <filesystem>
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

// The refusal of a chosen file whose name is not an image's. The spelling is the one
// operators and their instructions know: keep it.
inline constexpr char kIllegalFileText[] = "Ilegal Firmware file";

// Whether a chosen path names a firmware image: it holds "USB_IO_Firmware_" (exact case)
// right after a path separator, '\' or '/', anywhere in the path.
bool isFirmwareFilePath(std::string_view path);

struct FirmwareImage {
    std::string text;                // the whole file, byte for byte
    std::vector<ImageLine> lines;    // what goes to the bootloader, in order

    std::size_t length() const { return text.size(); }
    std::string_view lineText(const ImageLine& line) const { return firmware::lineText(text, line); }
};

struct ImageFileResult {
    std::optional<FirmwareImage> image;
    std::string error;  // the refusal the operator sees, when there is no image
    std::size_t line = 0;  // the line the refusal names ("Line 7 of the Firmware file..."), or 0
};

// Checks a text already read; the file's path only names it in the messages.
ImageFileResult checkImageText(std::string text, const std::string& path);
ImageFileResult readImageFile(const std::filesystem::path& path);

}  // namespace iox::firmware
