#include "backend_stack.h"

#include <map>

#include "device/hidapi_backend.h"
#include "device/record/recording_backend.h"
#include "device/record/replay_backend.h"
#include "device/sim/sim_backend.h"

namespace iox::boxes {

BackendStack::~BackendStack()
{
    // Top first: each layer uses the one below it until it is gone.
    while (!m_layers.empty())
        m_layers.pop_back();
}

BackendStack::Built BackendStack::build(StackOptions options)
{
    std::unique_ptr<BackendStack> stack(new BackendStack);
    std::map<std::string, std::string> knownSerials;
    if (options.replay) {
        record::ReplayOptions replayOptions;
        replayOptions.keepTiming = options.replayTiming;
        replayOptions.onStop = options.onReplayStop;
        auto opened = record::openReplay(*options.replay, std::move(replayOptions));
        if (!opened.backend)
            return {nullptr, opened.error};
        stack->m_replay = opened.backend.get();
        stack->m_layers.push_back(std::move(opened.backend));
    } else if (!options.simulated.empty()) {
        auto simulated = std::make_unique<sim::SimBackend>();
        for (const auto& box : options.simulated) {
            const std::size_t index = simulated->addBox(box);
            simulated->faults(index).answerDelay = options.simulatedAnswerDelay;
            knownSerials[simulated->pathOf(index)] = box.serial;
        }
        stack->m_sim = simulated.get();
        stack->m_layers.push_back(std::move(simulated));
    } else if (!options.bus) {
        stack->m_layers.push_back(std::make_unique<HidapiBackend>());
    }
    stack->m_top = stack->m_layers.empty() ? options.bus : stack->m_layers.back().get();

    if (options.record) {
        auto wrapped = record::wrapForRecording(*stack->m_top, *options.record, options.program);
        if (!wrapped.backend)
            return {nullptr, wrapped.error};
        stack->m_layers.push_back(std::move(wrapped.backend));
        stack->m_top = stack->m_layers.back().get();
    }
    if (options.trace) {
        stack->m_layers.push_back(
            std::make_unique<TracingBackend>(*stack->m_top, std::move(options.trace), std::move(knownSerials)));
        stack->m_top = stack->m_layers.back().get();
    }
    return {std::move(stack), {}};
}

std::optional<TraceSink> traceIntoFile(const std::string& path)
{
    auto file = std::make_shared<TraceFile>(path);
    if (!file->ok())
        return std::nullopt;
    return traceLines([file](const std::string& line) { file->write(line); });
}

}  // namespace iox::boxes
