#include "testing/system_clock.h"

time_t CSystemClock::Now() {
    return std::time(nullptr);
}

bool CSystemClock::WaitForStop(const CEvent& evStop, int64_t nMilliseconds) {
    return evStop.Wait(nMilliseconds);
}
