#pragma once
// The bootloader half of an update, apart from the windows: reopening the box after its
// reset, and sending the image line by line until the bootloader says it is finished.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "bootloader_protocol.h"
#include "device/hid_backend.h"
#include "image_file.h"

namespace iox::firmware {

inline constexpr int kReopenAttempts = 35;
inline constexpr std::chrono::milliseconds kReopenInterval{2000};

// Opens the path the box had before its reset, waiting kReopenInterval before each of up
// to kReopenAttempts tries (through the window-system services' sleep). 0 when the box
// did not come back.
HidHandle reopenAfterReset(HidBackend& backend, const std::string& path);

enum class SendOutcome {
    Finished,   // the bootloader answered "F"
    EndOfText,  // every line was accepted with "O"
    Failed,     // another status, or no answer: nothing more was sent
};

struct SendResult {
    SendOutcome outcome;
    std::size_t linesSent;
    std::uint8_t lastStatus;
};

// Sends the image's lines in order. The beep sounds before an end-of-file record goes;
// afterAnswer runs after every answer, the last one included.
SendResult sendImage(BootloaderLink& link, HidHandle handle, const FirmwareImage& image,
                     const std::function<void(const ImageLine&)>& afterAnswer);

}  // namespace iox::firmware
