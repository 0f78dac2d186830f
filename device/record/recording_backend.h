#pragma once
// A HidBackend that hands every call on to another one and writes it, with its result, as
// one line of a recording (see recording_format.h). Each line is flushed at once, so a
// crash loses nothing.

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "recording_format.h"

namespace iox::record {

class RecordingBackend : public HidBackend {
public:
    // Takes an open file, which it closes.
    RecordingBackend(HidBackend& bus, std::FILE* file, const std::string& program);
    ~RecordingBackend() override;
    RecordingBackend(const RecordingBackend&) = delete;
    RecordingBackend& operator=(const RecordingBackend&) = delete;

    std::vector<HidInterface> enumerate() override;
    HidHandle open(const std::string& path) override;
    bool write(HidHandle handle, const Report& report) override;
    bool read(HidHandle handle, Report& report, std::chrono::milliseconds timeout) override;
    void close(HidHandle handle) override;

private:
    void put(const Call& call);

    HidBackend& m_bus;
    std::FILE* m_file;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::mutex m_mutex;  // one line at a time, in time order
};

struct WrapResult {
    std::unique_ptr<HidBackend> backend;  // empty when the file cannot be written
    std::string error;
};

// Records everything done on `bus` into the file at `path` (created or truncated); `program`
// names the recording program in the header.
WrapResult wrapForRecording(HidBackend& bus, const std::string& path, const std::string& program);

}  // namespace iox::record
