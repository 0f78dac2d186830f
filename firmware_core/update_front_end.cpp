#include "update_front_end.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "image_file.h"

namespace iox::firmware {

namespace {

std::size_t fileLineAt(const std::string& text, std::size_t index)
{
    return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(index), '\n'));
}

}  // namespace

std::string updateFailedHeading()
{
    const std::string text = kUpdateFailedText;
    return text.substr(0, text.find(" - "));
}

std::string absoluteImagePath(const std::string& file)
{
    std::error_code error;
    return std::filesystem::absolute(file, error).lexically_normal().string();
}

std::optional<std::string> imageNameRefusal(const std::string& file)
{
    if (isFirmwareFilePath(absoluteImagePath(file)))
        return std::nullopt;
    return std::string(kIllegalFileText) + ": the image's file name must begin with USB_IO_Firmware_ (" + file +
           ")\r\nNothing was sent to the USB IO.";
}

std::optional<std::string> levelRefusal(const std::string& serial, const std::string& revision, int level, int lowest)
{
    if (level >= lowest)
        return std::nullopt;
    return "the box " + serial + " runs firmware " + revision + " (level " + std::to_string(level) +
           "), which takes no update; nothing was sent";
}

std::string oneLine(const std::string& refusal)
{
    std::string text = refusal;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.replace(at, 2, " ");
    return text;
}

std::string outcomeReason(const UpdateResult& result, std::size_t imageLines, const std::string& path)
{
    const std::string sent = std::to_string(result.linesSent), lines = std::to_string(imageLines);
    switch (result.outcome) {
    case UpdateOutcome::Finished:
        return {};
    case UpdateOutcome::Refused:
        return "the image was refused; nothing was sent";
    case UpdateOutcome::Stopped:
        return "stopped before the update began; nothing more was sent to the box";
    case UpdateOutcome::NoBootloader:
        return "the box did not come back at " + path + " after its reset";
    case UpdateOutcome::LineFailed:
        return "line " + sent + " of " + lines + " was answered with status " + std::to_string(result.lastStatus) +
               "; the box waits in its bootloader for a good image";
    case UpdateOutcome::Abandoned:
        break;
    }
    return "stopped after " + sent + " of " + lines + " lines; the box waits in its bootloader for a good image";
}

std::optional<ImageReport> inspectImageFile(const std::string& file)
{
    // At most the largest image and one byte more: enough to tell a file that is too large.
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(kMaxImageBytes) + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));

    ImageReport report;
    report.records = checkHexRecords(text);
    // Every line the cut produces that a request cannot carry, not only the first.
    const auto lines = cutImageLines(text);
    for (const auto& line : lines) {
        if (line.length > kMaxLineBytes)
            report.records.problems.push_back(
                {fileLineAt(text, line.offset), "image line of " + std::to_string(line.length) +
                                                    " characters (line end included): a line request carries " +
                                                    std::to_string(kMaxLineBytes)});
    }
    std::stable_sort(report.records.problems.begin(), report.records.problems.end(),
                     [](const HexProblem& a, const HexProblem& b) { return a.line < b.line; });

    const std::string path = absoluteImagePath(file);
    ImageFileResult verdict = text.size() > static_cast<std::size_t>(kMaxImageBytes)
                                  ? ImageFileResult{std::nullopt, "The Firmware file is too large (more than 16 MiB): " + path}
                                  : checkImageText(text, path);
    if (const auto name = imageNameRefusal(file))
        report.refusal = std::string(kIllegalFileText) + ": the file name must begin with USB_IO_Firmware_";
    else if (!verdict.image)
        report.refusal = verdict.error.substr(0, verdict.error.find("\r\n"));
    if (verdict.image) {
        for (const auto& line : verdict.image->lines) {
            ++report.linesSent;
            report.bytesSent += std::min<std::size_t>(line.length, kMaxLineBytes);
            report.endRecordSent = report.endRecordSent || line.endOfFileRecord;
        }
        report.unsentTail = text.substr(sentLength(lines));
    }
    return report;
}

}  // namespace iox::firmware
