// Fuzzes the firmware image path (reading, checking, cutting into lines, line requests) with
// arbitrary file contents: no crash, no line cut short or overrunning its request, and a
// refused image refused before anything reaches the box.

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/sim/sim_backend.h"
#include "firmware_core/bootloader_protocol.h"
#include "firmware_core/firmware_update.h"
#include "firmware_core/hex_records.h"
#include "firmware_core/image_file.h"
#include "fuzz_support.h"

namespace {

struct World {
    QTemporaryDir folder;
    std::string path = folder.filePath(QStringLiteral("USB_IO_Firmware_A1.hex")).toStdString();
};

// Open descriptors, the listing's own included: compare counts only.
std::size_t openFiles()
{
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

// The lines follow each other without gap or overlap inside the text, each cut off at the
// next line start, each but the first starting at one.
void checkCut(const std::string& text, const std::vector<iox::firmware::ImageLine>& lines)
{
    std::size_t consumed = 0;
    for (const auto& line : lines) {
        check(line.offset == consumed && line.length > 0 && consumed + line.length < text.size());
        const std::string_view bytes = iox::firmware::lineText(text, line);
        consumed += line.length;
        check(line.position() == consumed + 1 && (text[consumed] == ':' || text[consumed] == ';'));
        check(line.offset == 0 || bytes[0] == ':' || bytes[0] == ';');
        check(line.endOfFileRecord == (bytes.find(":00000001F") != std::string_view::npos));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace iox::firmware;
    World& world = fuzzWorld<World>();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t files = openFiles();

    const auto lines = cutImageLines(text);
    checkCut(text, lines);
    // Only the text that is sent is judged; an end-of-file record is sent, or heads the rest.
    const std::size_t sentEnd = sentLength(lines);
    const bool ended = std::ranges::any_of(lines, [](const ImageLine& line) { return line.endOfFileRecord; }) ||
                       std::string_view(text).substr(sentEnd).starts_with(kEndOfFileRecord);
    const bool fits = !lines.empty() && ended && !firstImageLineProblem(std::string_view(text).substr(0, sentEnd)) &&
                      std::ranges::all_of(lines, [](const ImageLine& line) { return line.length <= kMaxLineBytes; });
    const ImageFileResult checked = checkImageText(text, world.path);
    check(checked.image.has_value() == fits);

    // A request never holds more than the report's bytes 1 to 63.
    const iox::Report whole = lineRequest(text);
    for (std::size_t i = 1; i < whole.size(); ++i)
        check(whole[i] == (i <= kMaxLineBytes && i <= text.size() ? static_cast<std::uint8_t>(text[i - 1]) : 0));

    std::ofstream(world.path, std::ios::binary | std::ios::trunc) << text;  // the same bytes as a file
    if (checked.image) {
        check(checked.error.empty() && checked.image->text == text);
        check(std::ranges::equal(checked.image->lines, lines, [](const ImageLine& a, const ImageLine& b) {
            return a.offset == b.offset && a.length == b.length;
        }));
        iox::sim::SimBackend bootloader;  // takes every line
        bootloader.addBox({});
        iox::USB_IO device(bootloader);
        check(device.Connect() == 1);
        UpdateObserver quiet;
        FirmwareUpdate update(bootloader, quiet, [](std::chrono::milliseconds) {});
        update.setAnswerBounds(std::chrono::milliseconds(10), std::chrono::milliseconds(10));
        check(update.checkImage(world.path));
        bootloader.clearLog();
        const UpdateResult sent = update.run(device);
        // After the update mark and the reset, the lines go whole, in order, one request each,
        // up to the end-of-file record (where the simulated bootloader finishes), then nothing.
        const auto& log = bootloader.log();
        std::size_t n = 0;
        for (const ImageLine& line : lines) {
            check(log.size() > 2 + n && log[2 + n++].report == lineRequest(lineText(text, line)));
            if (lineText(text, line).find(":00000001FF") != std::string_view::npos)
                break;
        }
        check(sent.outcome == UpdateOutcome::Finished && sent.linesSent == n && log.size() == 2 + n);
    } else {
        check(checked.error.ends_with("Nothing was sent to the USB IO."));
    }

    // The file gives the same verdict: the update, and the update window, refuse by it.
    const ImageFileResult read = readImageFile(world.path);
    check(read.image.has_value() == fits && read.error == checked.error);
    // No file stays open (libFuzzer itself scans for heap leaks).
    check(openFiles() == files);
    return 0;
}
