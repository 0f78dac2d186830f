#include "firmware_update.h"

namespace iox::firmware {

FirmwareUpdate::FirmwareUpdate(HidBackend& backend, UpdateObserver& observer, Sleep sleep)
    : m_backend(backend), m_observer(observer), m_sleep(std::move(sleep)), m_link(backend)
{
}

bool FirmwareUpdate::checkImage(const std::filesystem::path& file)
{
    m_observer.phase(UpdatePhase::CheckImage);
    return took(readImageFile(file));
}

bool FirmwareUpdate::checkImage(std::string text, const std::string& name)
{
    m_observer.phase(UpdatePhase::CheckImage);
    return took(checkImageText(std::move(text), name));
}

bool FirmwareUpdate::took(ImageFileResult checked)
{
    m_image = std::move(checked.image);
    m_refusal = m_image ? std::string() : std::move(checked.error);
    m_refusedLine = checked.line;
    return m_image.has_value();
}

UpdateResult FirmwareUpdate::run(USB_IO& device)
{
    if (!m_image)
        return {UpdateOutcome::Refused};
    if (stopRequested())
        return {UpdateOutcome::Stopped};

    // Marked on the connection open now, then reset: the box leaves the bus and comes back
    // in its bootloader under the same path.
    m_observer.phase(UpdatePhase::Reset);
    const bool marked = m_link.WriteUpdateFlag(device.GetUSBDeviceHandle(), kUpdateFlagYes);
    // A stop that came while the flag's echo was awaited still finds the box unreset: a flag
    // without a reset changes nothing.
    if (!marked && stopRequested())
        return {UpdateOutcome::Stopped};
    const std::string path = device.GetUSBDeviceName();
    device.ResetCPU();
    device.Disconnect();
    m_observer.resetSent(marked);

    m_observer.phase(UpdatePhase::AwaitBootloader);
    bool stopped = false;
    const HidHandle handle = reopen(path, stopped);
    if (stopped)
        return {UpdateOutcome::Abandoned};
    if (handle == 0)
        return {UpdateOutcome::NoBootloader};

    m_observer.phase(UpdatePhase::SendLines);
    const UpdateResult sent = sendLines(handle);
    m_backend.close(handle);
    if (sent.outcome != UpdateOutcome::Finished)
        return sent;

    m_observer.phase(UpdatePhase::AwaitReturn);
    m_sleep(kReturnPause);
    return sent;
}

HidHandle FirmwareUpdate::reopen(const std::string& path, bool& stopped)
{
    // The platform sees the path up to its first NUL.
    const std::string devicePath = path.substr(0, path.find('\0'));
    HidHandle handle = 0;
    for (int attempts = 0; handle <= 0 && attempts < kReopenAttempts; ++attempts) {
        if (stopRequested()) {
            stopped = true;
            return 0;
        }
        m_sleep(kReopenInterval);
        handle = m_backend.open(devicePath);
    }
    return handle > 0 ? handle : 0;
}

UpdateResult FirmwareUpdate::sendLines(HidHandle handle)
{
    const FirmwareImage& image = *m_image;
    UpdateResult result{UpdateOutcome::Finished};
    for (const ImageLine& line : image.lines) {
        if (stopRequested()) {
            result.outcome = UpdateOutcome::Abandoned;
            return result;
        }
        if (line.endOfFileRecord)
            m_observer.beep();
        const std::string_view text = image.lineText(line);
        m_observer.sendingLine(result.linesSent, text);
        result.lastStatus = m_link.SendFirmwareLine(handle, text);
        ++result.linesSent;
        m_observer.lineAnswered({line.position(), image.length(), result.linesSent});
        if (result.lastStatus == kUpdateFinished)
            return result;
        if (result.lastStatus != kLineAccepted) {
            result.outcome = UpdateOutcome::LineFailed;
            return result;
        }
    }
    return result;
}

}  // namespace iox::firmware
