#pragma once

#include "testing/engine_clock.h"

// The real clock: time() and a plain wait on the event.
class CSystemClock : public CEngineClock {
public:
    time_t Now() override;
    bool WaitForStop(const CEvent& evStop, int64_t nMilliseconds) override;
    // Looks at the wake event every 100 ms.
    EWaitEnd WaitForStopOrWake(const CEvent& evStop, const CEvent& evWake,
                               int64_t nMilliseconds) override;
};
