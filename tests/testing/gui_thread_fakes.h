#pragma once

// The user-interface side as the engine meets it: message boxes the worker asks for are
// queued and shown only when the waiting thread serves them, as in the desktop program.

#include "core/message_sink.h"
#include "testing/wait_observer.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CQueuedMessages : public CMessageSink, public CWaitObserver {
public:
    CQueuedMessages() : m_guiThread(std::this_thread::get_id()) {}

    // From the worker: wait until the user-interface thread has shown (and closed) the box.
    // From the user-interface thread itself: shown at once.
    void ShowMessage(const std::string& strText) override {
        std::unique_lock lock(m_mtx);
        if (std::this_thread::get_id() == m_guiThread) {
            m_arrShown.push_back(strText);
            return;
        }
        m_arrQueued.push_back(strText);
        const uint64_t nTicket = ++m_nAsked;
        m_cv.notify_all();
        m_cv.wait(lock, [&] { return m_nClosed >= nTicket; });
    }

    void BeginWait() override { ++m_nBegin; }
    void StepWait() override { ++m_nSteps; }
    void EndWait() override { ++m_nEnd; }
    void Serve() override {
        std::lock_guard lock(m_mtx);
        ++m_nServed;
        while (!m_arrQueued.empty()) {
            m_arrShown.push_back(m_arrQueued.front());
            m_arrQueued.pop_front();
            ++m_nClosed;
        }
        m_cv.notify_all();
    }

    // Blocks until the worker has asked for a box (it then waits inside ShowMessage).
    void WaitForQueuedBox() {
        std::unique_lock lock(m_mtx);
        m_cv.wait(lock, [&] { return !m_arrQueued.empty(); });
    }
    std::vector<std::string> GetShown() {
        std::lock_guard lock(m_mtx);
        return m_arrShown;
    }

    int m_nBegin = 0, m_nSteps = 0, m_nEnd = 0, m_nServed = 0;

private:
    std::thread::id m_guiThread;
    std::mutex m_mtx;
    std::condition_variable m_cv;
    std::deque<std::string> m_arrQueued;
    std::vector<std::string> m_arrShown;
    uint64_t m_nAsked = 0, m_nClosed = 0;
};

// Ends the test program when the guarded code has not finished in time: a deadlock must fail
// loudly, not hang the run.
class CWatchdog {
public:
    explicit CWatchdog(std::chrono::seconds limit, const char* pszWhat)
        : m_thread([this, limit, pszWhat] {
              std::unique_lock lock(m_mtx);
              if (!m_cv.wait_for(lock, limit, [this] { return m_bDone; })) {
                  std::fprintf(stderr, "Deadlock: %s did not finish within %lld s\n", pszWhat,
                               static_cast<long long>(limit.count()));
                  std::abort();
              }
          }) {}
    ~CWatchdog() {
        {
            std::lock_guard lock(m_mtx);
            m_bDone = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mtx;
    std::condition_variable m_cv;
    bool m_bDone = false;
    std::thread m_thread;
};
