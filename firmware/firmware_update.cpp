#include "firmware_update.h"

#include "panels/ui_services.h"

namespace iox::firmware {

HidHandle reopenAfterReset(HidBackend& backend, const std::string& path)
{
    // The platform sees the path up to its first NUL.
    const std::string devicePath = path.substr(0, path.find('\0'));
    HidHandle handle = 0;
    for (int attempts = 0; handle <= 0 && attempts < kReopenAttempts; ++attempts) {
        ui::services().sleep(kReopenInterval);
        handle = backend.open(devicePath);
    }
    return handle > 0 ? handle : 0;
}

SendResult sendImage(BootloaderLink& link, HidHandle handle, const FirmwareImage& image,
                     const std::function<void(const ImageLine&)>& afterAnswer)
{
    SendResult result{SendOutcome::EndOfText, 0, 0};
    for (const ImageLine& line : image.lines) {
        if (line.endOfFileRecord)
            ui::services().beep();
        result.lastStatus = link.SendFirmwareLine(handle, image.lineText(line));
        ++result.linesSent;
        if (afterAnswer)
            afterAnswer(line);
        if (result.lastStatus == kUpdateFinished) {
            result.outcome = SendOutcome::Finished;
            return result;
        }
        if (result.lastStatus != kLineAccepted) {
            result.outcome = SendOutcome::Failed;
            return result;
        }
    }
    return result;
}

}  // namespace iox::firmware
