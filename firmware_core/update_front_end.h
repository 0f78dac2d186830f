#pragma once
// What every update front end decides and says around the update's phases: the file-name
// rule on the file as named, the box's firmware level, the image report that hex-check
// prints, and each outcome with its message. The update window keeps its own message boxes;
// ioxctl and the scripting module only present what is here.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "firmware_update.h"
#include "hex_records.h"

namespace iox::firmware {

// The first words of every failed update's message.
std::string updateFailedHeading();  // "Error while trying to update firmware"

// A file as a command line or a script names it: the name rule looks for the image's name
// after a folder separator, so a relative name is tested as the absolute path it stands for.
std::string absoluteImagePath(const std::string& file);
// Why a file so named is no image, or nullopt; two lines, as an image's refusal.
std::optional<std::string> imageNameRefusal(const std::string& file);
// Why a box whose firmware is at this level takes no update, or nullopt.
std::optional<std::string> levelRefusal(const std::string& serial, const std::string& revision, int level,
                                        int lowest = kLowestUpdatableLevel);
// A refusal as one line: the operator's message with its line break made a blank.
std::string oneLine(const std::string& refusal);
// Why the update did not finish, for every outcome but Finished.
std::string outcomeReason(const UpdateResult& result, std::size_t imageLines, const std::string& path);

// A file looked at record by record without any box: what hex-check reports.
struct ImageReport {
    HexRecords records;           // every record, and every problem of the file by file line
    std::string refusal;          // why an update would refuse the file; empty when it takes it
    std::size_t linesSent = 0;    // what the update would send
    std::size_t bytesSent = 0;
    bool endRecordSent = false;
    std::string unsentTail;       // the text after the last cut
};
// Reads the file once. nullopt when it cannot be read at all.
std::optional<ImageReport> inspectImageFile(const std::string& file);

}  // namespace iox::firmware
