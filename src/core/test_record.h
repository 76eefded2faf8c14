#pragma once

#include <cstdint>
#include <string>

// One test of one host as the history keeps it. Times are UTC seconds since the epoch;
// durations are in tenths of a millisecond, -1 where the test never got that far.
struct CTestRecord {
    int64_t nHostId = 0; // the host's id in the history
    int64_t tWhen = 0;   // when the test ran
    bool bUp = false;
    // Why the host was down ("no echo answered", "connection refused", "timed out",
    // "TLS failure: ...", "HTTP 503", "name not found"), or a note when up ("answers 404:
    // check the test URL"); empty otherwise.
    std::string strReason;
    int32_t nPingTenths = -1; // the ping time; -1: no echo (or connect) answered
    int nMethod = 0;          // PING_METHOD_ICMP or PING_METHOD_TCP
    int nFamily = 0;          // AF_INET or AF_INET6 of the address that answered; 0: none
    int nEchoesSent = 0;
    int nEchoesAnswered = 0;
    int nHttpStatus = 0; // 0: no response
    // The web request's timings from curl, each from the request's start.
    int32_t nDnsTenths = -1;
    int32_t nConnectTenths = -1;
    int32_t nTlsTenths = -1;
    int32_t nFirstByteTenths = -1;
    int32_t nTotalTenths = -1;
    int64_t tCertExpiry = 0; // the server certificate's notAfter; 0: not https or unknown
};

// Consecutive down tests of a host: from the first down test to the first up test after
// them (0 while the host is still down).
struct COutage {
    int64_t tStart = 0;
    int64_t tEnd = 0;
    int64_t tLastSeenUp = 0; // the up test before tStart; 0 when there was none
    std::string strReason;   // the reason of the first down test
    int nTests = 0;          // down tests in the outage
    // The tests broke off while it lasted (program closed, tests stopped, clock set back):
    // tEnd is then its last down test, not an up test.
    bool bEndUnknown = false;
};
