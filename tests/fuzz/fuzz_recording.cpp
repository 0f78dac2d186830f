// Fuzzes loading a recording (from another machine) with arbitrary contents: no crash; one that
// loads survives being written out again unchanged, and plays back whole when the program asks
// exactly what it holds.

#include <string>

#include "device/record/replay_backend.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace iox::record;
    const LoadResult loaded = parseRecording(std::string(reinterpret_cast<const char*>(data), size), "f");
    if (!loaded.recording) {
        check(loaded.error.starts_with("f line "));
        return 0;
    }
    std::string again = loaded.recording->header + "\n";
    for (const Call& call : loaded.recording->calls)
        again += std::to_string(call.us) + " " + callText(call) + "\n";
    const LoadResult reloaded = parseRecording(again, "f");
    check(reloaded.recording && reloaded.recording->calls.size() == loaded.recording->calls.size());
    for (std::size_t i = 0; i < loaded.recording->calls.size(); ++i)
        check(callText(reloaded.recording->calls[i]) == callText(loaded.recording->calls[i]));

    ReplayBackend replay(*loaded.recording, "f");
    for (const Call& call : loaded.recording->calls) {
        iox::Report report = call.report;
        switch (call.kind) {
        case CallKind::Enumerate: check(replay.enumerate().size() == call.interfaces.size()); break;
        case CallKind::Open: check(replay.open(call.path) == call.handle); break;
        case CallKind::Write: check(replay.write(call.handle, call.report) == call.ok); break;
        case CallKind::Read: check(replay.read(call.handle, report, std::chrono::milliseconds(call.timeoutMs)) == call.ok); break;
        case CallKind::Close: replay.close(call.handle); break;
        }
    }
    check(replay.complete());
    return 0;
}
