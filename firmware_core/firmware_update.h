#pragma once
// The firmware update as one object, for every front end: the update window, ioxctl flash
// and the scripting module. Its phases run in this order:
//   CheckImage      the image file is read and checked; a refused file touches no box
//   Reset           the box is marked for an update and reset into its bootloader
//   AwaitBootloader the box's old path is opened again, up to kReopenAttempts times
//   SendLines       the image goes to the bootloader line by line until "F" or its end
//   AwaitReturn     a pause while the box starts its new firmware
// The object reports to an observer and waits through an injected sleep, so that a window
// can keep its events running and a test never waits for real.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "bootloader_protocol.h"
#include "device/hid_backend.h"
#include "device/usb_io.h"
#include "image_file.h"

namespace iox::firmware {

// Lowest firmware level (GetExtFirmware's result) whose boxes take an update.
inline constexpr std::int16_t kLowestUpdatableLevel = 3;
inline constexpr int kReopenAttempts = 35;
inline constexpr std::chrono::milliseconds kReopenInterval{2000};
inline constexpr std::chrono::milliseconds kReturnPause{2000};

// The operator's texts of an update's end. The spelling ("succesfully") is the one
// operators and their instructions know: keep it.
inline constexpr char kUpdateFailedText[] = "Error while trying to update firmware - Program will shut down";
inline constexpr char kUpdateDoneText[] = "The New Firmware was succesfully updated\r\nThe Program will ReStart";

enum class UpdatePhase { CheckImage, Reset, AwaitBootloader, SendLines, AwaitReturn };

enum class UpdateOutcome {
    Finished,      // the bootloader answered "F", or took every line with "O"
    Refused,       // the image failed its checks: nothing was sent
    Stopped,       // stopped before the reset: the box runs its firmware as before
    NoBootloader,  // the box did not come back after its reset
    LineFailed,    // a line was answered with another status, or not at all
    Abandoned,     // stopped once the box was in its bootloader
};

// After each line's answer.
struct UpdateProgress {
    std::size_t position;   // 1-based position of the ':' or ';' that cut the line off
    std::size_t length;     // the image text's length
    std::size_t linesSent;  // this one included

    // position / length, divided in double precision and kept in single precision.
    float fraction() const { return static_cast<float>(static_cast<double>(position) / static_cast<double>(length)); }
};

class UpdateObserver {
public:
    virtual ~UpdateObserver() = default;
    // On entering each phase, before its first request.
    virtual void phase(UpdatePhase) {}
    // After the reset request; `marked`: the box echoed the update flag before it.
    virtual void resetSent(bool /*marked*/) {}
    // Just before the end-of-file record's line goes.
    virtual void beep() {}
    virtual void sendingLine(std::size_t /*index*/, std::string_view /*line*/) {}
    virtual void lineAnswered(const UpdateProgress&) {}
};

struct UpdateResult {
    UpdateOutcome outcome;
    std::size_t linesSent = 0;
    std::uint8_t lastStatus = 0;  // the last line's status; 0 when no answer came
};

class FirmwareUpdate {
public:
    using Sleep = std::function<void(std::chrono::milliseconds)>;

    // backend: the one the device object talks through; the bootloader is reached on it.
    FirmwareUpdate(HidBackend& backend, UpdateObserver& observer, Sleep sleep);

    // Asked before the reset (again after an unanswered update flag) and before each reopen
    // attempt and line; true stops there.
    void setStopRequest(std::function<bool()> stop) { m_stop = std::move(stop); }
    void setAnswerBounds(std::chrono::milliseconds flagBound, std::chrono::milliseconds lineBound)
    {
        m_link.setAnswerBounds(flagBound, lineBound);
    }

    // CheckImage. False when refused, with the operator's message in refusal().
    bool checkImage(const std::filesystem::path& file);
    // The same for an image already read (an upload); `name` names it in the messages.
    bool checkImage(std::string text, const std::string& name);
    const std::string& refusal() const { return m_refusal; }
    std::size_t refusedLine() const { return m_refusedLine; }  // the line it names, or 0
    // The checked image, or nullptr.
    const FirmwareImage* image() const { return m_image ? &*m_image : nullptr; }

    // The phases from Reset on, with the box that `device` is connected to; Refused when
    // no image passed checkImage. The device object is left disconnected.
    UpdateResult run(USB_IO& device);

private:
    bool took(ImageFileResult checked);  // keeps the image, or why it was refused
    bool stopRequested() const { return m_stop && m_stop(); }
    // 0 when the box did not come back, or a stop came first (then stopped is set).
    HidHandle reopen(const std::string& path, bool& stopped);
    UpdateResult sendLines(HidHandle handle);

    HidBackend& m_backend;
    UpdateObserver& m_observer;
    Sleep m_sleep;
    BootloaderLink m_link;
    std::function<bool()> m_stop;
    std::optional<FirmwareImage> m_image;
    std::string m_refusal;
    std::size_t m_refusedLine = 0;
};

}  // namespace iox::firmware
