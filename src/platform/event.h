#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A manual-reset event: once set, every wait returns at once until it is reset.
class CEvent {
public:
    void Set();
    void Reset();
    bool IsSet() const;
    // Waits up to nMilliseconds; true when the event is (or becomes) set.
    bool Wait(int64_t nMilliseconds) const;

private:
    mutable std::mutex m_mtx;
    mutable std::condition_variable m_cv;
    bool m_bSet = false;
};
