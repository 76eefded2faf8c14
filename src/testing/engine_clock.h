#pragma once

#include "platform/event.h"

#include <cstdint>
#include <ctime>

// The worker's sense of time: the wall clock it stamps tests with, and its waits on the stop
// event. Tests replace it to control time() and to see every wait the worker makes.
class CEngineClock {
public:
    virtual ~CEngineClock() = default;
    // Whole seconds since 1970-01-01.
    virtual time_t Now() = 0;
    // Waits up to nMilliseconds for the stop event; true when it is (or becomes) set.
    virtual bool WaitForStop(const CEvent& evStop, int64_t nMilliseconds) = 0;

    enum class EWaitEnd { ELAPSED, STOPPED, WOKEN };
    // The wait between cycles, which evWake may also end (the stop wins). A clock that knows
    // no wake just waits for the stop.
    virtual EWaitEnd WaitForStopOrWake(const CEvent& evStop, const CEvent& evWake,
                                       int64_t nMilliseconds) {
        (void)evWake;
        return WaitForStop(evStop, nMilliseconds) ? EWaitEnd::STOPPED : EWaitEnd::ELAPSED;
    }
};
