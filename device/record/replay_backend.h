#pragma once
// A HidBackend that plays a recording back: enumerate and open answer as recorded, every
// written report must equal the next recorded one byte for byte, and the recorded reads
// are served in order. At the first call that differs from the recording it stops with a
// report naming the recording's line, what was recorded and what the program did; from
// then on every call fails (no interfaces, no handle, no write, no read).

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "recording_format.h"

namespace iox::record {

struct ReplayOptions {
    bool keepTiming = false;  // wait out the recorded gaps; otherwise as fast as possible
    // Told the stop report once, when the replay stops.
    std::function<void(const std::string&)> onStop;
};

class ReplayBackend : public HidBackend {
public:
    ReplayBackend(Recording recording, std::string name, ReplayOptions options = {});

    std::vector<HidInterface> enumerate() override;
    HidHandle open(const std::string& path) override;
    bool write(HidHandle handle, const Report& report) override;
    bool read(HidHandle handle, Report& report, std::chrono::milliseconds timeout) override;
    void close(HidHandle handle) override;

    bool stopped() const;
    std::string stopReport() const;
    // Every recorded call was served and none differed.
    bool complete() const;
    // Stops with a report when calls of the recording are left over; for the end of a run.
    void finish();

private:
    // The next recorded call when it asks what `actual` asks; else stops, and nullptr.
    const Call* next(const Call& actual);
    void stop(const std::string& report);
    void keepPace(const Call& call);

    Recording m_recording;
    std::string m_name;
    ReplayOptions m_options;
    std::size_t m_next = 0;
    std::optional<std::string> m_stopReport;
    std::optional<std::chrono::steady_clock::time_point> m_startedAt;
    mutable std::mutex m_mutex;
};

struct ReplayResult {
    std::unique_ptr<ReplayBackend> backend;  // empty when the recording is refused
    std::string error;                       // "FILE line N: what is wrong"
};

// Loads and checks the whole recording before anything is served.
ReplayResult openReplay(const std::string& path, ReplayOptions options = {});

}  // namespace iox::record
