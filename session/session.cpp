#include "session.h"

#include <memory>

namespace iox::session {

namespace {

struct State {
    HidBackend* backend = nullptr;
    std::function<void()> pump;
    std::unique_ptr<USB_IO> shared;
    QString firmwareFilePath;
};

State& state()
{
    static State s;
    return s;
}

// Stands in until a backend is set, so that a window opened too early reaches no box
// instead of crashing.
class NoBackend : public HidBackend {
public:
    std::vector<HidInterface> enumerate() override { return {}; }
    HidHandle open(const std::string&) override { return 0; }
    bool write(HidHandle, const Report&) override { return false; }
    bool read(HidHandle, Report&, std::chrono::milliseconds) override { return false; }
    void close(HidHandle) override {}
};

}  // namespace

void setDeviceBackend(HidBackend& backend, std::function<void()> pumpEvents)
{
    if (state().backend != &backend)
        state().shared.reset();
    state().backend = &backend;
    state().pump = std::move(pumpEvents);
}

void endSession()
{
    state().shared.reset();
    state().backend = nullptr;
    state().pump = nullptr;
}

HidBackend& deviceBackend()
{
    static NoBackend none;
    return state().backend ? *state().backend : none;
}

const std::function<void()>& devicePump() { return state().pump; }

std::unique_ptr<USB_IO> makeDevice() { return std::make_unique<USB_IO>(deviceBackend(), devicePump()); }

USB_IO& sharedDevice()
{
    if (!state().shared)
        state().shared = makeDevice();
    return *state().shared;
}

QString& FirmwareFilePath() { return state().firmwareFilePath; }

std::int16_t GetLatestFirmware(const std::string& /*model*/, std::string& LatestRevision)
{
    LatestRevision = "A1";
    return 3;
}

void resetForTests()
{
    state().shared.reset();
    state().firmwareFilePath.clear();
}

}  // namespace iox::session
