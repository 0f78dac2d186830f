// Fuzzes the firmware image path with arbitrary file contents: reading, checking, cutting
// into lines and building line requests. An image file is untrusted input: nothing in it
// may crash the program, no line may be cut short or overrun its request, and an image
// that is refused must be refused before anything reaches the box.

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "device/sim/sim_backend.h"
#include "firmware/core/bootloader_protocol.h"
#include "firmware/core/firmware_update.h"
#include "firmware/core/hex_records.h"
#include "firmware/core/image_file.h"
#include "firmware/core/image_lines.h"
#include "firmware/fw_form.h"
#include "fuzz_support.h"
#include "session/session.h"
#include "tests/support/recording_services.h"

namespace {

// The application around the update window: a box the shared device object is connected
// to, window services that record instead of blocking, and a folder for the image files.
struct World {
    iox::sim::SimBackend bus;
    iox::testing::RecordingServices services;
    QTemporaryDir folder;
    QString path;

    World()
    {
        iox::session::setDeviceBackend(bus, {});
        bus.addBox({});
        check(iox::session::sharedDevice().Connect() == 1);
        path = folder.filePath(QStringLiteral("USB_IO_Firmware_A1.hex"));
    }
};

World* g_world = nullptr;

// The request must carry exactly the line: bytes 1 to n, nothing after, n within the report.
void checkRequestCarries(const iox::Report& request, std::string_view line)
{
    check(line.size() <= iox::firmware::kMaxLineBytes);
    check(request[0] == 0);
    for (std::size_t i = 0; i < line.size(); ++i)
        check(request[1 + i] == static_cast<std::uint8_t>(line[i]));
    for (std::size_t i = 1 + line.size(); i < request.size(); ++i)
        check(request[i] == 0);
}

void checkCut(const std::string& text, const std::vector<iox::firmware::ImageLine>& lines)
{
    std::size_t consumed = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& line = lines[i];
        // The lines follow each other without gap or overlap, each one inside the text.
        check(line.offset == consumed && line.length > 0 && consumed + line.length < text.size());
        const std::string_view bytes = iox::firmware::lineText(text, line);
        check(bytes.size() == line.length);
        consumed += line.length;
        // The cut was made at the line start that follows this line.
        check(line.position() == consumed + 1);
        check(text[consumed] == ':' || text[consumed] == ';');
        if (i > 0)
            check(bytes[0] == ':' || bytes[0] == ';');
        check(line.endOfFileRecord == (bytes.find(":00000001F") != std::string_view::npos));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    startOffscreenApplication(argc, argv);
    g_world = new World;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace iox::firmware;
    World& world = *g_world;
    const std::string text(reinterpret_cast<const char*>(data), size);

    const auto lines = cutImageLines(text);
    checkCut(text, lines);
    bool fits = !lines.empty() && !firstImageLineProblem(text);
    for (const auto& line : lines)
        fits = fits && line.length <= kMaxLineBytes;

    const ImageFileResult checked = checkImageText(text, world.path.toStdString());
    check(checked.image.has_value() == fits);

    // A request never holds more than the report's bytes 1 to 63.
    const iox::Report whole = lineRequest(text);
    for (std::size_t i = 1; i < whole.size(); ++i)
        check(whole[i] == (i <= kMaxLineBytes && i <= text.size() ? static_cast<std::uint8_t>(text[i - 1]) : 0));

    // The same bytes as a file, read back as the update reads it.
    {
        QFile file(world.path);
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        check(file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()));
    }
    if (checked.image) {
        check(checked.error.empty() && checked.image->length() == text.size() && checked.image->text == text);
        check(checked.image->lines.size() == lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i)
            check(checked.image->lines[i].offset == lines[i].offset && checked.image->lines[i].length == lines[i].length);
        iox::sim::SimBackend bootloader;  // a box of its own that takes every line
        bootloader.addBox({});
        iox::USB_IO device(bootloader);
        check(device.Connect() == 1);
        UpdateObserver quiet;
        FirmwareUpdate update(bootloader, quiet, [](std::chrono::milliseconds) {});
        update.setAnswerBounds(std::chrono::milliseconds(10), std::chrono::milliseconds(10));
        check(update.checkImage(world.path.toStdString()));
        bootloader.clearLog();
        const UpdateResult sent = update.run(device);
        // The lines go whole, in order, one request each, until the bootloader says it is
        // finished (the simulated one does at its end-of-file record); nothing goes after that.
        std::size_t expected = 0;
        while (expected < lines.size() && lineText(text, lines[expected]).find(":00000001FF") == std::string_view::npos)
            ++expected;
        expected = std::min(expected + 1, lines.size());
        check(sent.outcome == UpdateOutcome::Finished && sent.linesSent == expected);
        // The update mark and the reset, then one request per line sent.
        const auto& log = bootloader.log();
        check(log.size() == 2 + expected);
        for (std::size_t i = 0; i < expected; ++i)
            checkRequestCarries(log[2 + i].report, lineText(text, lines[i]));
    } else {
        check(checked.error.ends_with("Nothing was sent to the USB IO."));
    }

    // Given to the update window.
    const ImageFileResult read = readImageFile(world.path.toStdString());
    check(read.image.has_value() == fits && read.error == checked.error);
    if (!read.image) {
        world.bus.clearLog();
        const std::size_t opens = world.bus.openCalls();
        const std::size_t handles = world.bus.openHandles();
        QString path = world.path;
        fwForm().UpdateFirmware(path);
        check(world.bus.log().empty() && world.bus.openCalls() == opens && world.bus.openHandles() == handles);
        check(world.services.messages.size() == 1 && world.services.messages[0].text == QString::fromLocal8Bit(read.error));
        check(world.services.ends == 0 && !updateRunning());
        check(iox::session::sharedDevice().isConnected());
    }
    // Nothing of this input stays behind: libFuzzer takes an input that frees less than it
    // allocates for a possible leak, and scans the heap.
    world.services.messages.clear();
    world.services.events.clear();
    return 0;
}
