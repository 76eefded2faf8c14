#pragma once

#include "core/test_record.h"

#include <cstdint>

// What one test of a host found: the one place where its result is known, before the host's
// statistics and its history take it. The evidence is the record the history keeps; nHostId
// and tWhen are the worker's to fill, bUp follows eOutcome.
struct CHostTestResult : CTestRecord {
    enum class EOutcome {
        UP,      // an echo (or connect) answered and the web request got a response
        DOWN,    // tested, and not up
        STOPPED, // cut short by a stop: counts for nothing
    };
    EOutcome eOutcome = EOutcome::DOWN;
    bool bPinged = false; // an echo (or connect) answered: nPingMs is its round trip
    uint32_t nPingMs = 0;
};
