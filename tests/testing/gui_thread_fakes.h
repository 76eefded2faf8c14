#pragma once

// The user-interface thread as the engine meets it: a box the worker asks for is shown (and
// closed) only when the waiting thread serves it, as in the desktop program.
#include "core/message_sink.h"
#include "testing/wait_observer.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

class CQueuedMessages : public CMessageSink, public CWaitObserver {
public:
    void ShowMessage(const std::string& strText) override {
        std::unique_lock lock(m_mtx);
        m_arrQueued.push_back(strText);
        m_cv.notify_all();
        m_cv.wait(lock, [&] { return m_arrQueued.empty(); });
    }
    void BeginWait() override { ++m_nBegin; }
    void StepWait() override { ++m_nSteps; }
    void EndWait() override { ++m_nEnd; }
    void Serve() override {
        std::lock_guard lock(m_mtx);
        ++m_nServed;
        m_arrShown.insert(m_arrShown.end(), m_arrQueued.begin(), m_arrQueued.end());
        m_arrQueued.clear();
        m_cv.notify_all();
    }
    void WaitForQueuedBox() {
        std::unique_lock lock(m_mtx);
        m_cv.wait(lock, [&] { return !m_arrQueued.empty(); });
    }
    std::vector<std::string> GetShown() {
        std::lock_guard lock(m_mtx);
        return m_arrShown;
    }

    std::atomic<int> m_nBegin{0}, m_nSteps{0}, m_nEnd{0}, m_nServed{0};

private:
    std::mutex m_mtx;
    std::condition_variable m_cv;
    std::vector<std::string> m_arrQueued, m_arrShown;
};

// A deadlock must fail loudly, not hang the run: aborts unless destroyed within the limit.
class CWatchdog {
public:
    CWatchdog(std::chrono::seconds limit, const char* pszWhat)
        : m_thread([future = m_done.get_future(), limit, pszWhat] {
              if (future.wait_for(limit) == std::future_status::timeout) {
                  std::fprintf(stderr, "Deadlock: %s did not end in time\n", pszWhat);
                  std::abort();
              }
          }) {}
    ~CWatchdog() {
        m_done.set_value();
        m_thread.join();
    }

private:
    std::promise<void> m_done;
    std::thread m_thread;
};
