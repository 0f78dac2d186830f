#include "recording_backend.h"

#ifndef IOX_VERSION
#define IOX_VERSION "unknown"
#endif

namespace iox::record {

RecordingBackend::RecordingBackend(HidBackend& bus, std::FILE* file, const std::string& program)
    : m_bus(bus), m_file(file)
{
    std::fprintf(m_file, "%s\n", headerLine(program, IOX_VERSION).c_str());
    std::fflush(m_file);
}

RecordingBackend::~RecordingBackend() { std::fclose(m_file); }

void RecordingBackend::put(const Call& call)
{
    const std::lock_guard lock(m_mutex);
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_start);
    std::fprintf(m_file, "%lld %s\n", static_cast<long long>(us.count()), callText(call).c_str());
    std::fflush(m_file);
}

std::vector<HidInterface> RecordingBackend::enumerate()
{
    Call call{.kind = CallKind::Enumerate};
    call.interfaces = m_bus.enumerate();
    put(call);
    return call.interfaces;
}

HidHandle RecordingBackend::open(const std::string& path)
{
    const HidHandle handle = m_bus.open(path);
    put(Call{.kind = CallKind::Open, .path = path, .handle = handle});
    return handle;
}

bool RecordingBackend::write(HidHandle handle, const Report& report)
{
    const bool ok = m_bus.write(handle, report);
    put(Call{.kind = CallKind::Write, .handle = handle, .ok = ok, .report = report});
    return ok;
}

bool RecordingBackend::read(HidHandle handle, Report& report, std::chrono::milliseconds timeout)
{
    const bool ok = m_bus.read(handle, report, timeout);
    put(Call{.kind = CallKind::Read, .handle = handle, .timeoutMs = timeout.count(), .ok = ok, .report = report});
    return ok;
}

void RecordingBackend::close(HidHandle handle)
{
    m_bus.close(handle);
    put(Call{.kind = CallKind::Close, .handle = handle});
}

WrapResult wrapForRecording(HidBackend& bus, const std::string& path, const std::string& program)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return {nullptr, "cannot write the recording \"" + path + "\""};
    return {std::make_unique<RecordingBackend>(bus, file, program), {}};
}

}  // namespace iox::record
