#pragma once

#include <cstdint>

class CAlertRaiser;
class CEngineClock;
class CHistoryRecorder;
class CProbes;
class CRowUpdateSink;

// The worker's ways out: probes, alerts, row updates, time, the test history. Everything but
// pRowSink and pRecorder is required; with no row sink (no view) row updates go nowhere, with
// no recorder the tests are not recorded.
struct CEngineSeams {
    CProbes* pProbes = nullptr;
    CAlertRaiser* pAlerts = nullptr;
    CRowUpdateSink* pRowSink = nullptr;
    CEngineClock* pClock = nullptr;
    // Length of one minute of the test interval; tests shorten it.
    int64_t nMillisecondsPerMinute = 60000;
    CHistoryRecorder* pRecorder = nullptr;
};
