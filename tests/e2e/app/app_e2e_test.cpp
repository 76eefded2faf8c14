// The desktop program as a user runs it, offscreen and left alone (its boxes stay open).
#include "core/history_store.h"
#include "e2e/app/app_lab.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;
using namespace app_lab;

namespace {

class AppLab : public ::testing::Test, public CAppLab {
protected:
    void SetUp() override {
        if (const std::string strWhy = CNetnsLab::WhyUnavailable(); !strWhy.empty())
            GTEST_SKIP() << "The program's end-to-end tests make network namespaces: " << strWhy;
        Open();
    }
};

// Host2 black-holed, its box left open: Host1 goes on, the e-mail and the desktop tell the
// moment; with the mail server down the back-up e-mail is retried later.
TEST_F(AppLab, AnOutageWithItsBoxOpenHoldsNothingUp) {
    CLoopbackHttpServer& good = StartWeb(1, EMode::Reply);
    CLoopbackHttpServer& flaky = StartWeb(2, EMode::Reply);
    WriteData({"http://10.77.1.2/", "http://10.77.2.2/"}, {"Host1", "Host2"});
    StartSmtpSink();
    StartNotificationService();
    StartProgram();
    ASSERT_TRUE(WaitFor([&] { return flaky.GetConnections() > 0; }, 20s)) << "Host2 never up";

    const time_t tBlackHole = time(nullptr);
    ASSERT_TRUE(m_lab.Ip(Ns(2), "route add blackhole 10.77.2.1/32"));
    ASSERT_TRUE(WaitFor([&] { return !Mail(1).empty(); }, 60s)) << "no down e-mail";
    const time_t tMail = time(nullptr), tFound = MailTime(Mail(1));
    EXPECT_THAT(Mail(1), HasSubstr("\r\nSubject: The host 10.77.2.2 went down\r\n"));
    EXPECT_TRUE(tFound >= tBlackHole && tFound <= tMail && tMail - tFound <= 5)
        << tBlackHole << " " << tFound << " " << tMail;
    EXPECT_THAT(ReadFileBytes(m_dir / "notify.log"),
                HasSubstr("Notify \"Vantrel\" 0 \"vantrel\" \"Host down: Host2\" "
                          "\"http://10.77.2.2/\nFound down at "));

    // The box stays open: Host1 is tested again while Host2 goes on timing out.
    const int nGood = good.GetConnections();
    EXPECT_TRUE(WaitFor([&] { return good.GetConnections() >= nGood + 1; }, 45s))
        << "Host1 was not tested while the box was open";

    // Back up while the mail server is down: told later, when it answers again.
    StopSmtpSink();
    const int nFlaky = flaky.GetConnections();
    ASSERT_TRUE(m_lab.Ip(Ns(2), "route del blackhole 10.77.2.1/32"));
    ASSERT_TRUE(WaitFor([&] { return flaky.GetConnections() > nFlaky; }, 60s));
    StartSmtpSink();
    ASSERT_TRUE(WaitFor([&] { return !Mail(1).empty(); }, 30s)) << "the retry did not deliver";
    EXPECT_THAT(Mail(1), HasSubstr("\r\nSubject: The host 10.77.2.2 is up again\r\n"));
    EXPECT_THAT(Mail(1), HasSubstr("The host Host2 (http://10.77.2.2/) is up again after "));

    ::kill(m_nPid, SIGTERM);
    GoneAfter(Clock::now());
    EXPECT_THAT(ReadFileBytes(m_dir / "config/Vantrel Software/Vantrel.conf"),
                HasSubstr("AlertEmail=1"));

    // The outage holds a test for every cycle Host1 had meanwhile: the box held none back.
    CHistoryStore history;
    ASSERT_EQ(history.Open(CHistoryStore::PathFor(m_strData)), CHistoryStore::EOpen::OK);
    const auto arrIds =
        history.Find({{"Host1", "http://10.77.1.2/"}, {"Host2", "http://10.77.2.2/"}});
    const auto arrOutages = history.Outages(arrIds.at(1), tBlackHole - 1, time(nullptr) + 1);
    ASSERT_FALSE(arrOutages.empty());
    const COutage& outage = *std::ranges::min_element(arrOutages, {}, &COutage::tStart);
    EXPECT_TRUE(outage.tStart >= tBlackHole - 1 && outage.tStart <= tFound + 1 && outage.tEnd > 0)
        << outage.tStart << " " << outage.tEnd;
    const size_t nHost1Tests = history.Tests(arrIds.at(0), outage.tStart, outage.tEnd).size();
    EXPECT_LE(std::abs(outage.nTests - int(nHost1Tests)), 1) << nHost1Tests;
}

// Each way out while a test waits in each way it can, and SIGTERM while the wait dialog is up:
// quick (the benchmark prints the figures), and the file holds what the command changed.
TEST_F(AppLab, EveryWayOutIsQuickWhateverATestWaitsFor) {
    enum EAction { SIGNAL, EXIT, STOP, LOGOUT, SIGNAL_IN_WAIT };
    const char* const arrActions[] = {"SIGTERM", "exit", "stop", "logout", "SIGTERM in the dialog"};
    std::vector<std::pair<EHeld, EAction>> arrRows;
    for (int nHeld = 0; nHeld < 6; ++nHeld)
        for (EAction eAction : {SIGNAL, EXIT, STOP, LOGOUT})
            arrRows.emplace_back(EHeld(nHeld), eAction);
    arrRows.emplace_back(EHeld::WEB, SIGNAL_IN_WAIT);
    for (const auto& [eHeld, eAction] : arrRows) {
        SCOPED_TRACE(std::string(arrActions[eAction]) + " during " + HELD_NAMES[int(eHeld)]);
        StartHeld(eHeld, VANTREL_DRIVEN_PATH);
        if (eAction == SIGNAL_IN_WAIT) {
            Command("edit");
            std::this_thread::sleep_for(500ms); // the dialog is up after 100 ms
        }
        const auto tStart = Clock::now();
        if (eAction == STOP || eAction == LOGOUT) {
            Command(arrActions[eAction]);
            const long long nMs = CommandMs(arrActions[eAction]);
            EXPECT_TRUE(nMs >= 0 && nMs < 3000) << nMs << " ms";
            EXPECT_FALSE(IsGone(m_nPid));
        } else {
            if (eAction == EXIT)
                Command("exit");
            else
                ::kill(m_nPid, SIGTERM);
            GoneAfter(tStart);
        }
        EXPECT_LT(Clock::now() - tStart, 3s); // the benchmark prints the figures
        // The file is whole, and a stopped host is stored as stopped.
        CNoSink sink;
        CVantrelDoc doc(sink, nullptr);
        EXPECT_EQ(doc.LoadHosts(m_strData).m_eResult, CHostsFile::LOAD_OK);
        ASSERT_EQ(doc.m_arrHosts.size(), 1u);
        EXPECT_EQ(doc.m_arrHosts[0]->m_bTesting, eAction == STOP ? 0 : 1);
    }
    ClearHeld();
}

} // namespace
