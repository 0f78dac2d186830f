#include "replay_backend.h"

#include <thread>

namespace iox::record {

namespace {

// What the program asked for, without the recorded result.
std::string requestText(const Call& call)
{
    switch (call.kind) {
    case CallKind::Enumerate: return "enumerate";
    case CallKind::Open: {
        const std::string text = callText(call);  // "open PATH HANDLE"
        return text.substr(0, text.rfind(' '));
    }
    case CallKind::Write: return "write " + std::to_string(call.handle) + " " + hexBytes(call.report);
    case CallKind::Read: return "read " + std::to_string(call.handle) + " " + std::to_string(call.timeoutMs);
    case CallKind::Close: return "close " + std::to_string(call.handle);
    }
    return {};
}

bool sameRequest(const Call& recorded, const Call& actual)
{
    if (recorded.kind != actual.kind)
        return false;
    switch (actual.kind) {
    case CallKind::Enumerate: return true;
    case CallKind::Open: return recorded.path == actual.path;
    case CallKind::Write: return recorded.handle == actual.handle && recorded.report == actual.report;
    case CallKind::Read:
    case CallKind::Close: return recorded.handle == actual.handle;
    }
    return false;
}

}  // namespace

ReplayBackend::ReplayBackend(Recording recording, std::string name, ReplayOptions options)
    : m_recording(std::move(recording)), m_name(std::move(name)), m_options(std::move(options))
{
}

void ReplayBackend::stop(const std::string& report)
{
    if (m_stopReport)
        return;
    m_stopReport = "replay of " + m_name + " stopped " + report;
    if (m_options.onStop)
        m_options.onStop(*m_stopReport);
}

const Call* ReplayBackend::next(const Call& actual)
{
    if (m_stopReport)
        return nullptr;
    if (m_next == m_recording.calls.size()) {
        stop("after its last line (" + std::to_string(m_recording.calls.empty() ? 1 : m_recording.calls.back().line) +
             "): the program went on with\n  " + requestText(actual) + "\n");
        return nullptr;
    }
    const Call& recorded = m_recording.calls[m_next];
    if (!sameRequest(recorded, actual)) {
        std::string report = "at line " + std::to_string(recorded.line) + ": the recording has\n  " +
                             requestText(recorded) + "\nbut the program did\n  " + requestText(actual) + "\n";
        if (recorded.kind == CallKind::Write && actual.kind == CallKind::Write && recorded.report != actual.report) {
            std::size_t at = 0;
            while (recorded.report[at] == actual.report[at])
                ++at;
            report += "  (first difference at byte " + std::to_string(at) + ")\n";
        }
        stop(report);
        return nullptr;
    }
    ++m_next;
    keepPace(recorded);
    return &recorded;
}

void ReplayBackend::keepPace(const Call& call)
{
    if (!m_options.keepTiming)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!m_startedAt)
        m_startedAt = now - std::chrono::microseconds(call.us);
    std::this_thread::sleep_until(*m_startedAt + std::chrono::microseconds(call.us));
}

std::vector<HidInterface> ReplayBackend::enumerate()
{
    const std::lock_guard lock(m_mutex);
    const Call* recorded = next(Call{.kind = CallKind::Enumerate});
    return recorded ? recorded->interfaces : std::vector<HidInterface>{};
}

HidHandle ReplayBackend::open(const std::string& path)
{
    const std::lock_guard lock(m_mutex);
    const Call* recorded = next(Call{.kind = CallKind::Open, .path = path});
    return recorded ? recorded->handle : 0;
}

bool ReplayBackend::write(HidHandle handle, const Report& report)
{
    const std::lock_guard lock(m_mutex);
    const Call* recorded = next(Call{.kind = CallKind::Write, .handle = handle, .report = report});
    return recorded && recorded->ok;
}

bool ReplayBackend::read(HidHandle handle, Report& report, std::chrono::milliseconds timeout)
{
    const std::lock_guard lock(m_mutex);
    const Call* recorded = next(Call{.kind = CallKind::Read, .handle = handle, .timeoutMs = timeout.count()});
    if (!recorded || !recorded->ok)
        return false;
    report = recorded->report;
    return true;
}

void ReplayBackend::close(HidHandle handle)
{
    const std::lock_guard lock(m_mutex);
    next(Call{.kind = CallKind::Close, .handle = handle});
}

bool ReplayBackend::stopped() const
{
    const std::lock_guard lock(m_mutex);
    return m_stopReport.has_value();
}

std::string ReplayBackend::stopReport() const
{
    const std::lock_guard lock(m_mutex);
    return m_stopReport.value_or(std::string{});
}

bool ReplayBackend::complete() const
{
    const std::lock_guard lock(m_mutex);
    return !m_stopReport && m_next == m_recording.calls.size();
}

void ReplayBackend::finish()
{
    const std::lock_guard lock(m_mutex);
    if (m_stopReport || m_next == m_recording.calls.size())
        return;
    const Call& recorded = m_recording.calls[m_next];
    stop("at line " + std::to_string(recorded.line) + ": the program ended, the recording goes on with\n  " +
         requestText(recorded) + "\n");
}

ReplayResult openReplay(const std::string& path, ReplayOptions options)
{
    LoadResult loaded = loadRecording(path);
    if (!loaded.recording)
        return {nullptr, loaded.error};
    return {std::make_unique<ReplayBackend>(std::move(*loaded.recording), path, std::move(options)), {}};
}

}  // namespace iox::record
