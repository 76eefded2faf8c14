#pragma once

#include "mail/smtp_connection.h"
#include "platform/last_error.h"

#include <algorithm>
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

// Whether strText follows strPattern: "A" an upper-case letter, "a" a lower-case one, "0" a
// digit, "+" a sign, anything else itself.
inline bool FollowsPattern(const std::string& strText, const std::string& strPattern) {
    if (strText.size() != strPattern.size())
        return false;
    for (size_t i = 0; i < strText.size(); ++i) {
        char c = strText[i], p = strPattern[i];
        bool bOk = p == 'A'   ? (c >= 'A' && c <= 'Z')
                   : p == 'a' ? (c >= 'a' && c <= 'z')
                   : p == '0' ? (c >= '0' && c <= '9')
                   : p == '+' ? (c == '+' || c == '-')
                              : c == p;
        if (!bOk)
            return false;
    }
    return true;
}

// The Date header changes with every run: a well-formed value is replaced by "*".
inline std::string WithoutDate(const std::string& strWire) {
    const size_t nStart = strWire.find("\r\nDate: ");
    if (nStart == std::string::npos)
        return strWire;
    const size_t nValue = nStart + 8;
    const size_t nEnd = strWire.find("\r\n", nValue);
    if (nEnd == std::string::npos ||
        !FollowsPattern(strWire.substr(nValue, nEnd - nValue), "Aaa, 00 Aaa 0000 00:00:00 +0000"))
        return strWire;
    return strWire.substr(0, nValue) + "*" + strWire.substr(nEnd);
}
