#pragma once
// The text form of a recording: one HidBackend call per line, after a header line.
//
//   iox-recording 1 program=ioxctl version=1.0 platform=linux
//   <us> enumerate <count> <vid>:<pid>:<path>...
//   <us> open <path> <handle>
//   <us> write <handle> ok|fail <65 report bytes>
//   <us> read <handle> <timeout ms> ok <65 report bytes>   or   ... fail
//   <us> close <handle>
//
// <us> counts microseconds of a monotonic clock from the start of the recording. Report
// bytes are two-digit lowercase hex separated by single blanks, as in the report trace.
// Paths carry blanks, '%' and non-ASCII bytes as %XX.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/hid_backend.h"

namespace iox::record {

inline constexpr int kFormatVersion = 1;
inline constexpr char kMagic[] = "iox-recording";

enum class CallKind { Enumerate, Open, Write, Read, Close };

struct Call {
    CallKind kind = CallKind::Enumerate;
    std::int64_t us = 0;                     // when the call returned
    std::vector<HidInterface> interfaces{};  // enumerate's result
    std::string path{};                      // open
    HidHandle handle = 0;                    // open's result; the handle of write, read, close
    std::int64_t timeoutMs = 0;              // read
    bool ok = false;                         // write and read
    Report report{};                         // written, or read when ok
    int line = 0;                            // where it stands in the file (1 is the header)
};

struct Recording {
    std::string header;  // the first line, as written
    std::vector<Call> calls;
};

struct LoadResult {
    std::optional<Recording> recording;
    std::string error;  // "FILE line N: what is wrong", set when recording is empty
};

std::string headerLine(const std::string& program, const std::string& version);
// The line without its timestamp and newline, e.g. "close 3".
std::string callText(const Call& call);
std::string hexBytes(const Report& report);

// Checks the whole text; `name` is used in the error.
LoadResult parseRecording(const std::string& text, const std::string& name);
LoadResult loadRecording(const std::string& path);

}  // namespace iox::record
