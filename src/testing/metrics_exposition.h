#pragma once

#include "core/host.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// The figures of a headless run as Prometheus reads them. The worker's side copies a host's
// figures here under the host's lock; a scrape formats its own copy of them and never takes a
// host lock, so a slow scraper cannot delay a test. Texts come in as ISO-8859-1 bytes and
// leave as UTF-8.
class CMetricsExposition {
public:
    enum class EFormat { TEXT, OPEN_METRICS };

    // One host as its last test left it.
    struct SHostFigures {
        std::string strName;
        std::string strURL; // user name and password already removed
        int32_t nTests = 0;
        int32_t nTestsUp = 0;
        int32_t nState = HOST_UNKNOWN;
        bool bTesting = false;
        size_t nPings = 0;
        uint32_t nLastPing = 0; // milliseconds
        int32_t nPingTotal = 0; // milliseconds
        int32_t tLastTest = 0;
    };

    CMetricsExposition(std::string strVersion, std::string strLocation);

    // The caller holds the host's lock.
    static SHostFigures Capture(const CHost& host);
    void UpdateHost(size_t nIndex, SHostFigures figures);
    void EndCycle(double dSeconds);

    std::string Format(EFormat eFormat) const;
    static const char* ContentType(EFormat eFormat);

    // "http://user:pw@host/x" -> "http://host/x".
    static std::string StripCredentials(const std::string& strURL);
    // ISO-8859-1 to UTF-8 with backslash, quote and line feed escaped as label values need.
    static std::string EscapeLabelValue(const std::string& strLatin1);

private:
    const std::string m_strVersion;
    const std::string m_strLocationLabel; // ",location=\"...\"" or empty
    mutable std::mutex m_mutex;           // over the members below only
    std::vector<SHostFigures> m_arrHosts;
    std::vector<bool> m_arrKnown;
    int64_t m_nCycles = 0;
    double m_dLastCycleSeconds = -1.0;
};
