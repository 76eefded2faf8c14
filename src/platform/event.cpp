#include "platform/event.h"

void CEvent::Set() {
    {
        std::lock_guard lock(m_mtx);
        m_bSet = true;
    }
    m_cv.notify_all();
}

void CEvent::Reset() {
    std::lock_guard lock(m_mtx);
    m_bSet = false;
}

bool CEvent::IsSet() const {
    std::lock_guard lock(m_mtx);
    return m_bSet;
}

bool CEvent::Wait(int64_t nMilliseconds) const {
    std::unique_lock lock(m_mtx);
    return m_cv.wait_for(lock, std::chrono::milliseconds(nMilliseconds), [this] { return m_bSet; });
}
