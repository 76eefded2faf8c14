#pragma once

// The engine's seams for benchmarks in a network namespace: real probes (the connection
// check aside), messages and alerts printed, and a clock that ends the run at its first wait.

#include "core/message_sink.h"
#include "testing/alert_raiser.h"
#include "testing/system_clock.h"
#include "testing/system_probes.h"

#include <chrono>
#include <cstdio>
#include <string>

class CQuietSink : public CMessageSink {
public:
    void ShowMessage(const std::string& strText) override {
        std::fprintf(stderr, "message: %s\n", strText.c_str());
    }
};

class CNoAlerts : public CAlertRaiser {
public:
    void RaiseHostDownAlert(CVantrelDoc&, const CHostAlert& alert) override {
        std::fprintf(stderr, "alert: %s went down\n", alert.m_strServer.c_str());
    }
    void RaiseHostUpAlert(CVantrelDoc&, const CHostAlert& alert) override {
        std::fprintf(stderr, "alert: %s is up again\n", alert.m_strServer.c_str());
    }
    void RaiseCertificateNotice(CVantrelDoc&, const CHostAlert& alert) override {
        std::fprintf(stderr, "alert: %s's certificate expires soon\n", alert.m_strServer.c_str());
    }
};

// The namespace has no default route: the connection check is answered yes, every other
// probe is the real one.
class CLabProbes : public CSystemProbes {
public:
    bool IsConnected() override { return true; }
};

// Ends the run at the first wait and notes when the cycle's tests were done.
class COneCycleClock : public CSystemClock {
public:
    EWaitEnd WaitForStopOrWake(const CEvent&, const CEvent&, int64_t) override {
        m_end = std::chrono::steady_clock::now();
        return EWaitEnd::STOPPED;
    }
    std::chrono::steady_clock::time_point m_end;
};
