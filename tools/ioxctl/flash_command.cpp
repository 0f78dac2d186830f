#include "flash_command.h"

#include <QFileInfo>
#include <QString>

#include "box_finder.h"
#include "cli_services.h"
#include "device_commands.h"
#include "firmware/bootloader_protocol.h"
#include "firmware/firmware_info_form.h"
#include "firmware/firmware_update.h"
#include "firmware/fw_form.h"
#include "firmware/image_file.h"
#include "progress_output.h"
#include "text_format.h"

namespace iox::ctl {

namespace {

std::string firstLine(const char* text)
{
    const std::string whole = text;
    return whole.substr(0, whole.find("\r\n"));
}

Exit update(HidBackend& bus, USB_IO& device, const firmware::FirmwareImage& image, const Environment& env)
{
    std::string serial;
    if (device.Read_SN(serial) != 1)
        return notAnswering(env, "flash");
    std::uint8_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    std::string revision;
    const std::int16_t level = device.GetExtFirmware(a0, a1, a2, a3, revision);
    if (level < firmware::kLowestUpdatableLevel) {
        env.err << "ioxctl: the box " << printable(serial) << " runs firmware " << printable(revision) << " (level "
                << level << "), which takes no update; nothing was sent\n";
        return Exit::NotUpdatable;
    }

    CliServices services(env);
    firmware::BootloaderLink link(bus);
    if (env.lineBound.count() > 0)
        link.setAnswerBounds(firmware::BootloaderLink::kDefaultFlagBound, env.lineBound);
    link.WriteUpdateFlag(device.GetUSBDeviceHandle(), firmware::kUpdateFlagYes);
    const std::string path = device.GetUSBDeviceName();
    device.ResetCPU();
    device.Disconnect();
    env.out << "box " << printable(serial) << " restarts in its bootloader; waiting for it at " << printable(path)
            << std::endl;
    const HidHandle handle = firmware::reopenAfterReset(bus, path);
    if (handle == 0) {
        env.err << "ioxctl: " << firstLine(firmware::kUpdateFailedText) << ": the box did not come back at " << path
                << " after its reset\n";
        return Exit::UpdateFailed;
    }

    ProgressOutput progress(env.out, env.outIsTerminal);
    std::size_t lines = 0;
    const auto sent = firmware::sendImage(link, handle, image, [&](const firmware::ImageLine& line) {
        progress.update(line.position(), image.length(), ++lines);
    });
    // The bootloader has taken the whole image: the bar ends full, as in the update window.
    if (sent.outcome != firmware::SendOutcome::Failed)
        progress.update(image.length(), image.length(), lines);
    progress.finish();
    bus.close(handle);
    if (sent.outcome == firmware::SendOutcome::Failed) {
        env.err << "ioxctl: " << firstLine(firmware::kUpdateFailedText) << ": line " << sent.linesSent << " of "
                << image.lines.size() << " was answered with status " << int(sent.lastStatus)
                << "; the box waits in its bootloader for a good image\n";
        return Exit::UpdateFailed;
    }
    env.out << firstLine(firmware::kUpdateDoneText) << " (" << sent.linesSent << " lines sent)\n";
    return Exit::Ok;
}

}  // namespace

Exit runFlash(HidBackend& bus, const GlobalOptions& options, const FlashCommand& command, const Environment& env)
{
    // The name test looks for the image's name after a folder separator: a name typed
    // relative to the current folder is tested as the absolute path it stands for.
    const QString path = QFileInfo(QString::fromLocal8Bit(command.file.c_str())).absoluteFilePath();
    if (!firmware::isFirmwareFilePath(path)) {
        env.err << "ioxctl: " << firmware::kIllegalFileText << ": the image's file name must begin with "
                << "USB_IO_Firmware_ (" << command.file << ")\nNothing was sent to the USB IO.\n";
        return Exit::ImageRefused;
    }
    const firmware::ImageFileResult file = firmware::readImageFile(path);
    if (!file.image) {
        QString error = file.error;
        error.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        env.err << "ioxctl: " << error.toStdString() << '\n';
        return Exit::ImageRefused;
    }
    return withBox(bus, options, env, [&](USB_IO& device, const std::string&) {
        return update(bus, device, *file.image, env);
    });
}

}  // namespace iox::ctl
