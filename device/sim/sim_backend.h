#pragma once
// A HidBackend that simulates boxes, registered and used exactly like the real one.
// Besides the boxes it can list other HID interfaces (keyboards and the like), and it
// injects the faults a bench meets: boxes held by another program, unplugged and
// plugged again, slow or silent, with stale or mangled reports. Every request a box
// receives is logged, so tests can check exact bytes and order.
//
// Safe for one thread per handle: every call holds one lock, released while a read waits.
// A test that touches a box's model or the log while other threads run holds lock().

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../hid_backend.h"
#include "sim_box.h"

namespace iox::sim {

struct Faults {
    bool refuseOpen = false;                  // held by another program without sharing
    bool silent = false;                      // takes requests, never answers
    std::chrono::milliseconds answerDelay{0};  // each answer arrives this late (a sleep)
    std::function<void(Report&)> mangle;      // rewrites each answer before it is delivered
    // After ResetCPU the box is gone; this many open attempts of its path fail before it is
    // back (0: the first attempt succeeds; negative: it never comes back).
    int failedOpensAfterReset = 0;
};

struct LogEntry {
    std::size_t box;
    HidHandle handle;
    Report report;
};

class SimBackend : public HidBackend {
public:
    SimBackend();
    ~SimBackend() override;

    // A box at path "sim:box<N>", listed after everything added before it.
    std::size_t addBox(BoxConfig config);
    // A HID interface that is not a box; openable or not.
    void addInterface(std::uint16_t vendorId, std::uint16_t productId, bool openable = true);

    // Held across several calls (and across direct use of box() and log()) to see and
    // change the boxes as one step while other threads exchange reports.
    std::unique_lock<std::recursive_mutex> lock() const { return std::unique_lock(m_mutex); }

    std::size_t boxCount() const
    {
        auto held = lock();
        return m_boxes.size();
    }
    SimBox& box(std::size_t index);
    Faults& faults(std::size_t index);
    std::string pathOf(std::size_t index) const;

    // Unplug: the box leaves the enumeration and every handle to it fails at once.
    void vanish(std::size_t index);
    // Plug in again under the same path; old handles stay dead.
    void reappear(std::size_t index);
    bool present(std::size_t index) const;
    // A report waiting in the queue ahead of the box's next answer.
    void queueStale(std::size_t index, const Report& report);

    const std::vector<LogEntry>& log() const { return m_log; }
    std::vector<Report> requestsTo(std::size_t index) const;
    void clearLog()
    {
        auto held = lock();
        m_log.clear();
    }

    // Counters, for resource and pass-count checks.
    std::size_t enumerateCalls() const
    {
        auto held = lock();
        return m_enumerateCalls;
    }
    std::size_t openCalls() const
    {
        auto held = lock();
        return m_openCalls;
    }
    std::size_t openCallsOf(const std::string& path) const;
    std::size_t openHandles() const
    {
        auto held = lock();
        return m_handles.size();
    }

    std::vector<HidInterface> enumerate() override;
    HidHandle open(const std::string& path) override;
    bool write(HidHandle handle, const Report& report) override;
    bool read(HidHandle handle, Report& report, std::chrono::milliseconds timeout) override;
    void close(HidHandle handle) override;

private:
    struct Pending {
        Report report;
        std::chrono::steady_clock::time_point readyAt;
    };
    struct OpenHandle {
        int entry;                    // index into m_entries
        bool dead = false;            // every call fails
        bool goneAfterQueue = false;  // what is queued can be read, then it fails
        std::deque<Pending> queue;
    };
    struct Entry {  // one listed HID interface
        HidInterface hid;
        bool openable = true;
        int box = -1;  // index into m_boxes, or -1
    };
    struct BoxSlot {
        std::unique_ptr<SimBox> model;
        Faults faults;
        bool present = true;
        int opensUntilBack = 0;  // while resetting: failed opens still to come; -1 never
        bool resetting = false;
        std::deque<Report> stale;
    };

    void afterReset(std::size_t box);
    void killHandlesOf(std::size_t box, bool afterQueue);

    mutable std::recursive_mutex m_mutex;
    std::vector<Entry> m_entries;
    std::vector<BoxSlot> m_boxes;
    std::map<HidHandle, OpenHandle> m_handles;
    HidHandle m_nextHandle = 1;
    std::vector<LogEntry> m_log;
    std::map<std::string, std::size_t> m_opensByPath;
    std::size_t m_enumerateCalls = 0;
    std::size_t m_openCalls = 0;
};

}  // namespace iox::sim
