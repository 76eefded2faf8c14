#pragma once

#include "mail/smtp_connection.h"
#include "platform/last_error.h"

#include <algorithm>
#include <regex>
#include <string>
#include <utility>
#include <vector>

// Records the diagnostics (with the last error at the time) and every reply read.
class CRecordingConnection : public CSMTPConnection {
public:
    explicit CRecordingConnection(uint32_t dwTimeoutMs = 10000) {
        m_strHeloName = "client.test";
        m_dwTimeoutMs = dwTimeoutMs;
    }
    void ReportError(const std::string& strMessage) override {
        m_arrDiagnostics.emplace_back(strMessage, GetLastError());
    }
    bool ReadExpectedResponse(int nExpectedCode, bool bMultiLine) override {
        bool bResult = CSMTPConnection::ReadExpectedResponse(nExpectedCode, bMultiLine);
        m_arrResponses.push_back(GetLastCommandResponse());
        return bResult;
    }
    bool Said(const std::string& strText) const {
        return std::any_of(m_arrDiagnostics.begin(), m_arrDiagnostics.end(),
                           [&](const auto& diag) { return diag.first == strText; });
    }

    std::vector<std::pair<std::string, uint32_t>> m_arrDiagnostics;
    std::vector<std::string> m_arrResponses;
};

// The Date header changes with every run: replace its value by "*".
inline std::string WithoutDate(const std::string& strWire) {
    static const std::regex s_date(
        "Date: [A-Z][a-z]{2}, [0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} "
        "[+-][0-9]{4}\r\n");
    return std::regex_replace(strWire, s_date, "Date: *\r\n");
}
