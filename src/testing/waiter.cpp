#include "testing/waiter.h"

#include <thread>

namespace {

// Polls try_lock instead of a timed lock: ThreadSanitizer (GCC 12) does not see a lock taken
// by pthread_mutex_clocklock and would report every later access under it as a race.
template <typename Mutex> bool TryLockFor(Mutex& mtx, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (mtx.try_lock())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

bool CWaiter::TryFor(const std::function<bool(std::chrono::milliseconds)>& tryFor,
                     std::chrono::milliseconds total) {
    const auto deadline = std::chrono::steady_clock::now() + total;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        if (tryFor(std::max(std::chrono::milliseconds(0), std::min(left, SLICE))))
            return true;
        if (m_pObserver)
            m_pObserver->Serve();
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
}

void CWaiter::WaitUntil(const std::function<bool(std::chrono::milliseconds)>& tryFor) {
    if (TryFor(tryFor, FIRST_TRY))
        return;
    if (m_pObserver)
        m_pObserver->BeginWait();
    while (!TryFor(tryFor, STEP))
        if (m_pObserver)
            m_pObserver->StepWait();
    if (m_pObserver)
        m_pObserver->EndWait();
}

void CWaiter::Lock(std::recursive_timed_mutex& mtx) {
    WaitUntil([&mtx](std::chrono::milliseconds ms) { return TryLockFor(mtx, ms); });
}

void CWaiter::Lock(std::timed_mutex& mtx) {
    WaitUntil([&mtx](std::chrono::milliseconds ms) { return TryLockFor(mtx, ms); });
}
