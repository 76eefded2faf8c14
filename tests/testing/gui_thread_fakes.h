#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

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
