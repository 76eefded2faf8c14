#include "testing/metrics_exposition.h"

#include <algorithm>
#include <charconv>
#include <functional>

namespace {

struct SFamily {
    const char* pszName; // as the sample is named; OpenMetrics counters drop "_total"
    const char* pszType;
    const char* pszHelp;
};

std::string Number(double dValue) {
    char szBuf[32];
    const auto result = std::to_chars(szBuf, szBuf + sizeof(szBuf), dValue);
    return std::string(szBuf, result.ptr);
}

// The family name and type that a format announces for a sample name.
void AppendHeader(std::string& strOut, const SFamily& family, CMetricsExposition::EFormat eFormat) {
    std::string strName = family.pszName;
    std::string strType = family.pszType;
    if (eFormat == CMetricsExposition::EFormat::OPEN_METRICS) {
        const std::string strSuffix = strType == "counter" ? "_total"
                                      : strType == "info"  ? "_info"
                                                           : "";
        strName.resize(strName.size() - strSuffix.size());
    } else if (strType == "info") {
        strType = "gauge";
    }
    strOut += "# HELP " + strName + " " + family.pszHelp + "\n";
    strOut += "# TYPE " + strName + " " + strType + "\n";
}

} // namespace

CMetricsExposition::CMetricsExposition(std::string strVersion, std::string strLocation)
    : m_strVersion(std::move(strVersion)),
      m_strLocationLabel(strLocation.empty()
                             ? std::string()
                             : ",location=\"" + EscapeLabelValue(strLocation) + "\"") {}

CMetricsExposition::SHostFigures CMetricsExposition::Capture(const CHost& host) {
    SHostFigures figures;
    figures.strName = host.m_strName;
    figures.strURL = StripCredentials(host.m_strTestURL);
    figures.nTests = host.m_nTests;
    figures.nTestsUp = host.m_nTestsUp;
    figures.nState = host.m_nState;
    figures.bTesting = host.m_bTesting != 0;
    figures.nPings = host.m_pPingHistory->size();
    figures.nLastPing = figures.nPings > 0 ? host.m_pPingHistory->back() : 0;
    figures.nPingTotal = host.m_nPingTotal;
    figures.tLastTest = host.m_tLastTest;
    return figures;
}

void CMetricsExposition::UpdateHost(size_t nIndex, SHostFigures figures) {
    std::lock_guard lock(m_mutex);
    if (nIndex >= m_arrHosts.size()) {
        m_arrHosts.resize(nIndex + 1);
        m_arrKnown.resize(nIndex + 1);
    }
    m_arrHosts[nIndex] = std::move(figures);
    m_arrKnown[nIndex] = true;
}

void CMetricsExposition::EndCycle(double dSeconds) {
    std::lock_guard lock(m_mutex);
    ++m_nCycles;
    m_dLastCycleSeconds = dSeconds;
}

std::string CMetricsExposition::Format(EFormat eFormat) const {
    std::vector<SHostFigures> arrHosts;
    int64_t nCycles = 0;
    double dLastCycleSeconds = 0;
    {
        std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < m_arrHosts.size(); ++i)
            if (m_arrKnown[i])
                arrHosts.push_back(m_arrHosts[i]);
        nCycles = m_nCycles;
        dLastCycleSeconds = m_dLastCycleSeconds;
    }
    std::vector<std::string> arrLabels;
    arrLabels.reserve(arrHosts.size());
    for (const SHostFigures& host : arrHosts)
        arrLabels.push_back("{host=\"" + EscapeLabelValue(host.strName) + "\",url=\"" +
                            EscapeLabelValue(host.strURL) + "\"" + m_strLocationLabel + "}");

    std::string strOut;
    strOut.reserve(2048 + arrHosts.size() * 8 * (arrLabels.empty() ? 0 : arrLabels[0].size() + 48));
    // One family over every host; fValue returns false for a host without a value.
    const auto hostFamily =
        [&](const SFamily& family,
            const std::function<bool(const SHostFigures&, std::string&)>& fValue) {
            AppendHeader(strOut, family, eFormat);
            std::string strValue;
            for (size_t i = 0; i < arrHosts.size(); ++i)
                if (fValue(arrHosts[i], strValue))
                    strOut += family.pszName + arrLabels[i] + " " + strValue + "\n";
        };
    hostFamily(
        {"vantrel_host_up", "gauge", "Whether the host's last test found it up (1) or down (0)."},
        [](const SHostFigures& h, std::string& s) {
            s = h.nState == HOST_UP ? "1" : "0";
            return h.bTesting && h.nState != HOST_UNKNOWN;
        });
    hostFamily({"vantrel_host_tests_total", "counter", "Tests of the host."},
               [](const SHostFigures& h, std::string& s) {
                   s = std::to_string(h.nTests);
                   return true;
               });
    hostFamily({"vantrel_host_tests_up_total", "counter", "Tests that found the host up."},
               [](const SHostFigures& h, std::string& s) {
                   s = std::to_string(h.nTestsUp);
                   return true;
               });
    hostFamily(
        {"vantrel_host_ping_seconds", "gauge", "Round-trip time of the host's last answered ping."},
        [](const SHostFigures& h, std::string& s) {
            s = Number(h.nLastPing / 1000.0);
            return h.nPings > 0;
        });
    hostFamily({"vantrel_host_ping_seconds_average", "gauge",
                "Average round-trip time of the host's answered pings."},
               [](const SHostFigures& h, std::string& s) {
                   if (h.nPings == 0)
                       return false;
                   s = Number(static_cast<double>(h.nPingTotal) / static_cast<double>(h.nPings) /
                              1000.0);
                   return true;
               });
    hostFamily({"vantrel_host_last_test_timestamp_seconds", "gauge",
                "When the host's last test ended, in seconds since 1970."},
               [](const SHostFigures& h, std::string& s) {
                   s = std::to_string(h.tLastTest);
                   return h.tLastTest > 0;
               });
    hostFamily({"vantrel_host_testing", "gauge", "Whether the host takes part in the test cycles."},
               [](const SHostFigures& h, std::string& s) {
                   s = h.bTesting ? "1" : "0";
                   return true;
               });

    const std::string strRunLabels =
        m_strLocationLabel.empty() ? std::string() : "{" + m_strLocationLabel.substr(1) + "}";
    const SFamily cycles{"vantrel_cycles_total", "counter", "Test cycles ended by this run."};
    AppendHeader(strOut, cycles, eFormat);
    strOut += cycles.pszName + strRunLabels + " " + std::to_string(nCycles) + "\n";
    const SFamily duration{"vantrel_cycle_duration_seconds", "gauge",
                           "How long the last test cycle took."};
    AppendHeader(strOut, duration, eFormat);
    if (nCycles > 0)
        strOut += duration.pszName + strRunLabels + " " + Number(dLastCycleSeconds) + "\n";
    const SFamily build{"vantrel_build_info", "info", "The running program's version."};
    AppendHeader(strOut, build, eFormat);
    strOut += std::string(build.pszName) + "{version=\"" + EscapeLabelValue(m_strVersion) + "\"" +
              m_strLocationLabel + "} 1\n";
    if (eFormat == EFormat::OPEN_METRICS)
        strOut += "# EOF\n";
    return strOut;
}

const char* CMetricsExposition::ContentType(EFormat eFormat) {
    return eFormat == EFormat::OPEN_METRICS
               ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
               : "text/plain; version=0.0.4; charset=utf-8";
}

std::string CMetricsExposition::StripCredentials(const std::string& strURL) {
    const size_t nScheme = strURL.find("://");
    const size_t nStart = nScheme == std::string::npos ? 0 : nScheme + 3;
    const size_t nEnd = std::min(strURL.find_first_of("/?#", nStart), strURL.size());
    const size_t nAt = strURL.substr(nStart, nEnd - nStart).rfind('@');
    if (nAt == std::string::npos)
        return strURL;
    return strURL.substr(0, nStart) + strURL.substr(nStart + nAt + 1);
}

std::string CMetricsExposition::EscapeLabelValue(const std::string& strLatin1) {
    std::string strOut;
    strOut.reserve(strLatin1.size());
    for (const char c : strLatin1) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\')
            strOut += "\\\\";
        else if (c == '"')
            strOut += "\\\"";
        else if (c == '\n')
            strOut += "\\n";
        else if (b < 0x80)
            strOut += c;
        else {
            strOut += static_cast<char>(0xC0 | (b >> 6));
            strOut += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return strOut;
}
