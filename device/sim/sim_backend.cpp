#include "sim_backend.h"

#include <thread>

#include "../commands.h"

namespace iox::sim {

SimBackend::SimBackend() = default;
SimBackend::~SimBackend() = default;

std::size_t SimBackend::addBox(BoxConfig config)
{
    auto held = lock();
    const std::size_t index = m_boxes.size();
    BoxSlot slot;
    slot.model = std::make_unique<SimBox>(std::move(config));
    m_boxes.push_back(std::move(slot));
    m_entries.push_back({{"sim:box" + std::to_string(index), kBoxVendorId, kBoxProductId}, true,
                         static_cast<int>(index)});
    return index;
}

void SimBackend::addInterface(std::uint16_t vendorId, std::uint16_t productId, bool openable)
{
    auto held = lock();
    m_entries.push_back({{"sim:hid" + std::to_string(m_entries.size()), vendorId, productId}, openable, -1});
}

SimBox& SimBackend::box(std::size_t index)
{
    auto held = lock();
    return *m_boxes.at(index).model;
}
Faults& SimBackend::faults(std::size_t index)
{
    auto held = lock();
    return m_boxes.at(index).faults;
}
std::string SimBackend::pathOf(std::size_t index) const { return "sim:box" + std::to_string(index); }
bool SimBackend::present(std::size_t index) const
{
    auto held = lock();
    return m_boxes.at(index).present;
}

void SimBackend::killHandlesOf(std::size_t box, bool afterQueue)
{
    for (auto& [handle, open] : m_handles) {
        if (m_entries[open.entry].box != static_cast<int>(box))
            continue;
        if (afterQueue)
            open.goneAfterQueue = true;
        else
            open.dead = true;
    }
}

void SimBackend::vanish(std::size_t index)
{
    auto held = lock();
    m_boxes.at(index).present = false;
    killHandlesOf(index, false);
}

void SimBackend::reappear(std::size_t index)
{
    auto held = lock();
    auto& slot = m_boxes.at(index);
    slot.present = true;
    slot.resetting = false;
}

void SimBackend::queueStale(std::size_t index, const Report& report)
{
    auto held = lock();
    m_boxes.at(index).stale.push_back(report);
}

std::vector<Report> SimBackend::requestsTo(std::size_t index) const
{
    auto held = lock();
    std::vector<Report> out;
    for (const auto& entry : m_log)
        if (entry.box == index)
            out.push_back(entry.report);
    return out;
}

std::size_t SimBackend::openCallsOf(const std::string& path) const
{
    auto held = lock();
    const auto it = m_opensByPath.find(path);
    return it == m_opensByPath.end() ? 0 : it->second;
}

std::vector<HidInterface> SimBackend::enumerate()
{
    auto held = lock();
    ++m_enumerateCalls;
    std::vector<HidInterface> list;
    for (const auto& entry : m_entries)
        if (entry.box < 0 || m_boxes[entry.box].present)
            list.push_back(entry.hid);
    return list;
}

HidHandle SimBackend::open(const std::string& path)
{
    auto held = lock();
    ++m_openCalls;
    ++m_opensByPath[path];
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& entry = m_entries[i];
        if (entry.hid.path != path)
            continue;
        if (!entry.openable)
            return 0;
        if (entry.box >= 0) {
            BoxSlot& slot = m_boxes[entry.box];
            if (slot.resetting) {
                if (slot.opensUntilBack < 0)
                    return 0;
                if (slot.opensUntilBack > 0) {
                    --slot.opensUntilBack;
                    return 0;
                }
                slot.resetting = false;
                slot.present = true;
            }
            if (!slot.present || slot.faults.refuseOpen)
                return 0;
            // Once it has taken image lines, the next look at the bus finds the box
            // restarted with its application firmware.
            if (slot.model->inBootloader() && !slot.model->bootloaderLines().empty())
                slot.model->leaveBootloader();
        }
        const HidHandle handle = m_nextHandle++;
        OpenHandle fresh;
        fresh.entry = static_cast<int>(i);
        m_handles.emplace(handle, std::move(fresh));
        return handle;
    }
    return 0;
}

void SimBackend::afterReset(std::size_t box)
{
    BoxSlot& slot = m_boxes[box];
    slot.present = false;
    slot.resetting = true;
    slot.opensUntilBack = slot.faults.failedOpensAfterReset;
    killHandlesOf(box, true);
    if (slot.model->updateFlagSet())
        slot.model->enterBootloader();
}

bool SimBackend::write(HidHandle handle, const Report& report)
{
    auto held = lock();
    const auto it = m_handles.find(handle);
    if (it == m_handles.end() || it->second.dead || it->second.goneAfterQueue)
        return false;
    const int boxIndex = m_entries[it->second.entry].box;
    if (boxIndex < 0)
        return true;  // not a box: the report goes nowhere
    const auto box = static_cast<std::size_t>(boxIndex);
    BoxSlot& slot = m_boxes[box];
    m_log.push_back({box, handle, report});

    const auto readyAt = std::chrono::steady_clock::now() + slot.faults.answerDelay;
    while (!slot.stale.empty()) {
        it->second.queue.push_back({slot.stale.front(), std::chrono::steady_clock::now()});
        slot.stale.pop_front();
    }
    if (!slot.faults.silent) {
        if (auto answer = slot.model->answer(report)) {
            if (slot.faults.mangle)
                slot.faults.mangle(*answer);
            (*answer)[0] = 0;
            it->second.queue.push_back({*answer, readyAt});
        }
    }
    if (report[1] == cmd::ResetCpu && !slot.model->inBootloader())
        afterReset(box);  // its echo, already queued, is the last thing it says
    return true;
}

bool SimBackend::read(HidHandle handle, Report& report, std::chrono::milliseconds timeout)
{
    // The lock is let go while the read waits, so other handles carry on meanwhile; the
    // handle is looked up again afterwards, as the box may have vanished in between.
    auto held = lock();
    auto it = m_handles.find(handle);
    if (it == m_handles.end() || it->second.dead)
        return false;
    const auto now = std::chrono::steady_clock::now();
    if (it->second.queue.empty() || it->second.queue.front().readyAt > now + timeout) {
        if (it->second.goneAfterQueue) {
            it->second.dead = true;  // the device has left the bus: fail at once
            return false;
        }
        held.unlock();
        std::this_thread::sleep_for(timeout);
        return false;
    }
    if (const auto readyAt = it->second.queue.front().readyAt; readyAt > now) {
        held.unlock();
        std::this_thread::sleep_until(readyAt);
        held.lock();
        it = m_handles.find(handle);
        if (it == m_handles.end() || it->second.dead || it->second.queue.empty())
            return false;
    }
    auto& queue = it->second.queue;
    report = queue.front().report;
    queue.pop_front();
    return true;
}

void SimBackend::close(HidHandle handle)
{
    auto held = lock();
    const auto it = m_handles.find(handle);
    if (it == m_handles.end())
        return;
    m_handles.erase(it);
}

}  // namespace iox::sim
