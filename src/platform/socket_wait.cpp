#include "platform/socket_wait.h"

#include "platform/event.h"

#include <algorithm>
#include <cerrno>

ESocketWait WaitForSocket(pollfd& p, std::chrono::steady_clock::time_point tDeadline,
                          const CEvent* pevStop) {
    using namespace std::chrono;
    for (;;) {
        if (pevStop != nullptr && pevStop->IsSet())
            return ESocketWait::STOPPED;
        const auto nLeft = ceil<milliseconds>(tDeadline - steady_clock::now());
        const auto nSlice = std::clamp(nLeft, milliseconds(0), STOP_POLL_SLICE);
        p.revents = 0;
        const int nReady = poll(&p, 1, static_cast<int>(nSlice.count()));
        if (nReady > 0)
            return ESocketWait::READY;
        if (nReady < 0 && errno != EINTR)
            return ESocketWait::FAILED;
        if (nReady == 0 && nLeft <= STOP_POLL_SLICE)
            return ESocketWait::TIMED_OUT;
    }
}
