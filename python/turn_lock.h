#pragma once
// The bus's lock, handed over in the order it was asked for: a wait that lets the bus go
// between its reads and takes it straight back still lets a call from another thread in.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace iox::python {

class TurnLock {
public:
    void lock()
    {
        std::unique_lock held(m_mutex);
        const std::uint64_t mine = m_next++;
        m_turn.wait(held, [&] { return m_serving == mine; });
    }
    void unlock()
    {
        {
            std::lock_guard held(m_mutex);
            ++m_serving;
        }
        m_turn.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_turn;
    std::uint64_t m_next = 0, m_serving = 0;
};

}  // namespace iox::python
