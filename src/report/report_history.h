#pragma once

#include <cstdint>

class CHistoryStore;

// A host's measured history as the report shows it: its test period over everything kept,
// and its figures over the last 7 and 30 days before the report was made. Outages, response
// time, loss and the certificate cover the last 30 days, so that hosts tested for different
// lengths of time are still compared over the same span.
struct CReportHistory {
    static constexpr int64_t DAY_SECONDS = 86400;

    // The figures of host nHostId (0: a host without history) at tNow.
    static CReportHistory Measure(CHistoryStore& store, int64_t nHostId, int64_t tNow);

    int64_t nTests = 0; // all tests kept
    int64_t tFirst = 0; // first and last of them; 0 without tests
    int64_t tLast = 0;
    int64_t nTests7 = 0, nUp7 = 0;
    int64_t nTests30 = 0, nUp30 = 0;
    int nOutages = 0;
    int64_t nLongestSeconds = 0; // of the outages, counted within the 30 days
    int64_t nDownSeconds = 0;
    int32_t nMedianTenths = -1; // web response time (total) of up tests; -1: none
    int64_t nEchoesSent = 0, nEchoesAnswered = 0;
    bool bCert = false;        // a certificate was seen in the 30 days
    int64_t nCertDaysLeft = 0; // whole days from tNow to its expiry; negative once expired
};
