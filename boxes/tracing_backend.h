#pragma once
// A HidBackend that shows every report written and read as one line, "out 10001 00 1c ..."
// (direction, the box's name, the 65 bytes in lowercase hex), before handing it on. A box
// is named by its serial number: the one its bus knows for its path (simulated boxes), else
// the one it answered to a serial-number request, else its path until then.

#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "device/hid_backend.h"

namespace iox::boxes {

enum class Direction { Out, In };  // host to box, box to host

std::string traceLine(Direction direction, const std::string& name, const Report& report);

// Told every report, with the box's name; one call at a time.
using TraceSink = std::function<void(Direction direction, const std::string& name, const Report& report)>;
// A sink that hands each report on as a trace line, without its newline.
TraceSink traceLines(std::function<void(const std::string& line)> put);

// A file written line by line and flushed after each, so that another program can follow it.
class TraceFile {
public:
    explicit TraceFile(const std::string& path);  // created or truncated
    ~TraceFile();
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;
    bool ok() const { return m_file != nullptr; }
    void write(const std::string& line);

private:
    std::FILE* m_file = nullptr;
};

class TracingBackend : public HidBackend {
public:
    // knownSerials: path -> serial number, for buses that know them beforehand.
    TracingBackend(HidBackend& bus, TraceSink sink, std::map<std::string, std::string> knownSerials = {});

    std::vector<HidInterface> enumerate() override { return m_bus.enumerate(); }
    HidHandle open(const std::string& path) override;
    bool write(HidHandle handle, const Report& report) override;
    bool read(HidHandle handle, Report& report, std::chrono::milliseconds timeout) override;
    void close(HidHandle handle) override;

private:
    std::string nameOf(HidHandle handle) const;  // m_mutex held
    void put(Direction direction, HidHandle handle, const Report& report);

    HidBackend& m_bus;
    TraceSink m_sink;
    mutable std::mutex m_mutex;                    // the maps and the sink: one line at a time
    std::map<HidHandle, std::string> m_paths;      // open handles
    std::map<std::string, std::string> m_serials;  // path -> serial number
};

}  // namespace iox::boxes
