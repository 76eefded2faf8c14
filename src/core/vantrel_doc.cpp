#include "core/vantrel_doc.h"

#include <algorithm>

int CVantrelDoc::GetEmailScore(int nIndex) const {
    return GetEmailPoints(*m_arrHosts[static_cast<size_t>(nIndex)]);
}

int CVantrelDoc::GetEmailPoints(const CHost& host) {
    int nPoints = 0;
    for (int32_t nAnswer :
         {host.m_nForwarding, host.m_nAutoresponders, host.m_nWebMail, host.m_nMailingLists})
        if (nAnswer == 0)
            nPoints += 5;
    return nPoints + std::min(host.m_nEmailAccounts + 1, 20);
}

int CVantrelDoc::GetRedundancyScore(int nIndex) const {
    return GetRedundancyPoints(*m_arrHosts[static_cast<size_t>(nIndex)]);
}

int CVantrelDoc::GetRedundancyPoints(const CHost& host) {
    int nPoints = (3 - host.m_nBackups) * 5;
    for (int32_t nAnswer : {host.m_nUPS, host.m_nGenerator, host.m_nMonitoring})
        if (nAnswer == 0)
            nPoints += 5;
    for (int32_t nAnswer : {host.m_nBackupMail, host.m_nFailOver, host.m_nUptimeGuarantee})
        if (nAnswer == 0)
            nPoints += 15;
    return nPoints;
}
