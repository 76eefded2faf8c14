#pragma once
#include "core/host.h"
// A host as Modify finds it: every question answered, two features ticked, one with flag 7.
inline void FillSampleHost(CHost& host) {
    host.m_strName = "Acme Hosting";
    host.m_strWebSite = "http://www.acme.example";
    host.m_strTestURL = "https://shared7.acme.example/index.html";
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        host.Answer(i) = 1;
    host.m_nStorage = 21, host.m_nTransfer = 42, host.m_nCost = 51;
    host.m_nSupportRating = 9, host.m_nFeatureRating = 4;
    host.m_arrFeatures[0] = 1, host.m_arrFeatures[36] = 7;
}
