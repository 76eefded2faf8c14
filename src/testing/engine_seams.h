#pragma once

#include <cstdint>

class CAlertRaiser;
class CEngineClock;
class CProbes;
class CRowUpdateSink;

// The worker's ways out: probes, alerts, row updates, time. Everything but pRowSink is
// required; with no row sink (no view) row updates go nowhere.
struct CEngineSeams {
    CProbes* pProbes = nullptr;
    CAlertRaiser* pAlerts = nullptr;
    CRowUpdateSink* pRowSink = nullptr;
    CEngineClock* pClock = nullptr;
    // Length of one minute of the test interval; tests shorten it.
    int64_t nMillisecondsPerMinute = 60000;
};
