#include "testing/system_clock.h"

#include <algorithm>
#include <chrono>

time_t CSystemClock::Now() {
    return std::time(nullptr);
}

bool CSystemClock::WaitForStop(const CEvent& evStop, int64_t nMilliseconds) {
    return evStop.Wait(nMilliseconds);
}

CEngineClock::EWaitEnd CSystemClock::WaitForStopOrWake(const CEvent& evStop, const CEvent& evWake,
                                                       int64_t nMilliseconds) {
    using namespace std::chrono;
    const auto tEnd = steady_clock::now() + milliseconds(nMilliseconds);
    for (;;) {
        const int64_t nLeft = ceil<milliseconds>(tEnd - steady_clock::now()).count();
        if (evStop.Wait(std::clamp<int64_t>(nLeft, 0, 100)))
            return EWaitEnd::STOPPED;
        if (evWake.IsSet())
            return EWaitEnd::WOKEN;
        if (nLeft <= 100)
            return EWaitEnd::ELAPSED;
    }
}
