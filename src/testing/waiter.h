#pragma once

#include "testing/wait_observer.h"

#include <chrono>
#include <functional>
#include <mutex>

// How the user-interface thread waits for the worker: one try of 100 ms, then the observer's
// dialog and tries of 3000 ms, stepping the bar after each failed one, without time-out. The
// observer is served every few milliseconds throughout, so the worker's message boxes are
// shown while we wait.
class CWaiter {
public:
    static constexpr std::chrono::milliseconds FIRST_TRY{100};
    static constexpr std::chrono::milliseconds STEP{3000};
    static constexpr std::chrono::milliseconds SLICE{10};

    explicit CWaiter(CWaitObserver* pObserver) : m_pObserver(pObserver) {}

    // Repeats tryFor(slice) until it returns true. tryFor waits at most the time it is given.
    void WaitUntil(const std::function<bool(std::chrono::milliseconds)>& tryFor);

    // Takes the host lock (the caller releases it).
    void Lock(std::recursive_timed_mutex& mtx);
    void Lock(std::timed_mutex& mtx);

private:
    bool TryFor(const std::function<bool(std::chrono::milliseconds)>& tryFor,
                std::chrono::milliseconds total);

    CWaitObserver* m_pObserver;
};
