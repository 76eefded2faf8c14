#include "core/host.h"

#include <gtest/gtest.h>

TEST(HostFigures, NewRecordShowsNeutralFigures) {
    CHost host;
    EXPECT_EQ(host.GetStatusText(), "Not Testing");
    EXPECT_EQ(host.GetUptimeText(), "100.0%");
    EXPECT_EQ(host.GetAvgPingText(), "- ms");
    EXPECT_EQ(host.GetTimeTestedText(), "0d 0h 0m");
    EXPECT_EQ(host.m_nState, HOST_UNKNOWN);
    EXPECT_EQ(host.m_bNewRun, 1);
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        EXPECT_EQ(host.Answer(i), -1) << i;
}

TEST(HostFigures, DerivedTexts) {
    CHost host;
    host.m_nTests = 4;
    host.m_nTestsUp = 3;
    EXPECT_EQ(host.GetUptimeText(), "75.0%");
    host.m_nTestsUp = 0;
    EXPECT_EQ(host.GetUptimeText(), "0.0%");
    host.m_nSecondsTested = 90061;
    EXPECT_EQ(host.GetTimeTestedText(), "1d 1h 1m");
    *host.m_pPingHistory = {10, 15};
    host.m_nPingTotal = 25;
    EXPECT_EQ(host.GetAvgPingText(), "12.5 ms");
    host.m_bTesting = 1;
    const char* arrTexts[] = {"Testing - Up", "Testing - Down", "Testing - Unknown"};
    for (int nState = HOST_UP; nState <= HOST_UNKNOWN; ++nState) {
        host.m_nState = nState;
        EXPECT_EQ(host.GetStatusText(), arrTexts[nState]);
    }
}

TEST(HostCopy, CopiesEverythingButTheLockAndReplacesHistory) {
    CHost src;
    src.m_strName = "Alpha";
    src.m_nStorage = 3;
    src.m_nFeatureRating = 9;
    src.m_arrFeatures[36] = 1;
    *src.m_pPingHistory = {1, 2, 3};
    src.m_nPingTotal = 6;
    src.m_nState = HOST_DOWN;
    src.m_bNewRun = 0;
    CHost dst;
    dst.m_pPingHistory->assign(10, 7);
    dst.CopyFrom(src);
    EXPECT_EQ(dst.m_strName, "Alpha");
    EXPECT_EQ(dst.m_nStorage, 3);
    EXPECT_EQ(dst.m_nFeatureRating, 9);
    EXPECT_EQ(dst.m_arrFeatures[36], 1);
    EXPECT_EQ(*dst.m_pPingHistory, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(dst.m_nState, HOST_DOWN);
    EXPECT_EQ(dst.m_bNewRun, 0);
    EXPECT_NE(dst.m_pMutex.get(), src.m_pMutex.get());
}
