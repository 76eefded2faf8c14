#pragma once

#include <chrono>

#include <poll.h>

class CEvent;

enum class ESocketWait { READY, TIMED_OUT, STOPPED, FAILED };

// How often a socket wait looks at the stop event: a stop must take effect well within a
// second.
inline constexpr std::chrono::milliseconds STOP_POLL_SLICE{100};

// Polls p until it is ready, tDeadline passes or pevStop (may be null) is found set. FAILED
// leaves errno as poll set it.
ESocketWait WaitForSocket(pollfd& p, std::chrono::steady_clock::time_point tDeadline,
                          const CEvent* pevStop);
