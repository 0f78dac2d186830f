#include "flash_command.h"

#include "box_finder.h"
#include "boxes/identity.h"
#include "device_commands.h"
#include "firmware_core/update_front_end.h"
#include "progress_output.h"
#include "text_format.h"

namespace iox::ctl {

namespace {

using firmware::UpdateOutcome;
using firmware::UpdatePhase;

std::string firstLine(const std::string& text) { return text.substr(0, text.find("\r\n")); }

// The update on a terminal: what it waits for, a progress bar, the bell before the
// end-of-file record. A signal before the reset stops the update with nothing sent; once
// the box is in its bootloader the first one only warns, and one after the warning stops.
class TerminalSteps : public firmware::UpdateObserver {
public:
    explicit TerminalSteps(const Environment& env) : m_env(env), m_progress(env.out, env.outIsTerminal) {}

    void setBox(std::string serial, std::string path)
    {
        m_serial = std::move(serial);
        m_path = std::move(path);
    }

    void phase(UpdatePhase phase) override
    {
        m_phase = phase;
        if (phase == UpdatePhase::AwaitBootloader)
            m_env.out << "box " << printable(m_serial) << " restarts in its bootloader; waiting for it at "
                      << printable(m_path) << std::endl;
        if (phase == UpdatePhase::AwaitReturn) {
            // The bootloader has taken the whole image: the bar ends full, as in the update window.
            m_progress.update(1, 1, m_lines);
            m_progress.finish();
            m_env.out << firstLine(firmware::kUpdateDoneText) << " (" << m_lines << " lines sent)" << std::endl;
        }
    }
    void beep() override
    {
        if (m_env.errIsTerminal)
            m_env.err << '\a' << std::flush;
    }
    void lineAnswered(const firmware::UpdateProgress& progress) override
    {
        m_lines = progress.linesSent;
        m_progress.update(progress.position, progress.length, m_lines);
    }
    void endProgress() { m_progress.finish(); }

    bool stopRequested()
    {
        const int signals = m_env.signals();
        if (m_phase == UpdatePhase::CheckImage)
            return signals > 0;
        // Only a signal after the warning stops: two quick ones during a wait only warn.
        if (signals > 0 && m_warnedAt == 0) {
            m_warnedAt = signals;
            m_progress.finish();
            m_env.err << "ioxctl: the box is in its bootloader: stopping now would leave it there until it takes a "
                         "good image; the update goes on (signal again to stop anyway)" << std::endl;
        }
        return m_warnedAt > 0 && signals > m_warnedAt;
    }

private:
    const Environment& m_env;
    std::string m_serial, m_path;
    ProgressOutput m_progress;
    UpdatePhase m_phase = UpdatePhase::CheckImage;
    std::size_t m_lines = 0;
    int m_warnedAt = 0;  // signals received when the warning was shown; 0: not shown
};

Exit reportEnd(const firmware::UpdateResult& result, const firmware::FirmwareImage& image, const std::string& path,
               TerminalSteps& steps, const Environment& env)
{
    steps.endProgress();
    if (result.outcome == UpdateOutcome::Finished)
        return Exit::Ok;
    const std::string reason = firmware::outcomeReason(result, image.lines.size(), path);
    if (result.outcome == UpdateOutcome::Stopped) {
        env.err << "ioxctl: " << reason << '\n';
        return Exit::Interrupted;
    }
    env.err << "ioxctl: " << firmware::updateFailedHeading() << ": " << reason << '\n';
    return Exit::UpdateFailed;
}

}  // namespace

Exit runFlash(HidBackend& bus, const GlobalOptions& options, const FlashCommand& command, const Environment& env,
              bool waits)
{
    if (const auto refused = firmware::imageNameRefusal(command.file)) {
        env.err << "ioxctl: " << firmware::oneLine(*refused) << '\n';
        return Exit::ImageRefused;
    }
    // The image is checked before any box is looked for: a refused file sends nothing.
    TerminalSteps steps(env);
    firmware::FirmwareUpdate update(bus, steps, [&env, waits](std::chrono::milliseconds wait) {
        if (waits)
            env.pause(wait);
    });
    update.setStopRequest([&steps] { return steps.stopRequested(); });
    if (env.lineBound.count() > 0)
        update.setAnswerBounds(firmware::BootloaderLink::kDefaultFlagBound, env.lineBound);
    if (!update.checkImage(firmware::absoluteImagePath(command.file))) {
        env.err << "ioxctl: " << firmware::oneLine(update.refusal()) << '\n';
        return Exit::ImageRefused;
    }
    return withBox(bus, options, env, [&](USB_IO& device, const std::string&) -> Exit {
        const auto serial = boxes::readSerial(device);
        if (!serial)
            return notAnswering(env, "flash");
        const boxes::Firmware installed = boxes::readFirmware(device);
        if (const auto refused = firmware::levelRefusal(printable(*serial), printable(installed.revision),
                                                        installed.level)) {
            env.err << "ioxctl: " << *refused << '\n';
            return Exit::NotUpdatable;
        }
        const std::string boxPath = device.GetUSBDeviceName();
        steps.setBox(*serial, boxPath);
        return reportEnd(update.run(device), *update.image(), boxPath, steps, env);
    });
}

}  // namespace iox::ctl
