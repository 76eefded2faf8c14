// The worker's cycle against 50 real hosts: addresses in a network namespace made here, each
// with its own web server, some black-holed, some with a web server that never answers.
#include "core/message_sink.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "platform/loopback_http_server.h"
#include "platform/netns_lab.h"
#include "testing/alert_raiser.h"
#include "testing/row_update_sink.h"
#include "testing/system_clock.h"
#include "testing/system_probes.h"
#include "testing/test_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <tuple>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Answers yes to the connection check (the namespace has no default route) and notes when
// each row was updated and when the cycle's tests ended (the first wait, which ends the run).
class CCycleWatch : public CSystemProbes,
                    public CSystemClock,
                    public CRowUpdateSink,
                    public CMessageSink,
                    public CAlertRaiser {
public:
    CCycleWatch() : m_arrRows(50) {}
    bool IsConnected() override { return true; }
    EWaitEnd WaitForStopOrWake(const CEvent&, const CEvent&, int64_t) override {
        m_end = Clock::now();
        return EWaitEnd::STOPPED;
    }
    void PostHostUpdated(int nIndex) override {
        std::lock_guard lock(m_mtx);
        m_arrRows[static_cast<size_t>(nIndex)].push_back(Clock::now());
    }
    void ShowMessage(const std::string& strText) override { ADD_FAILURE() << strText; }
    void RaiseHostDownAlert(CVantrelDoc&, const CHostAlert&) override {}
    void RaiseHostUpAlert(CVantrelDoc&, const CHostAlert&) override {}
    void RaiseCertificateNotice(CVantrelDoc&, const CHostAlert&) override {}

    Clock::time_point m_end;
    std::mutex m_mtx;
    std::vector<std::vector<Clock::time_point>> m_arrRows;
};

// 10.79.1.N (N = 0 to 44) answer, 5 of them with a silent web server; 10.79.2.N (N = 0 to 4)
// are black-holed. Every answering host's test ends within the cycle's first 2 s, and the cycle
// after one time-out, not their sum (5 x 20 s + 5 x 60 s one after another). Each host's
// statistics are those the rules give.
TEST(ConcurrentCycleLab, FiftyHostsFiveBlackHoledFiveSilentEndAfterOneTimeout) {
    if (const std::string strWhy = CNetnsLab::WhyUnavailable(); !strWhy.empty())
        GTEST_SKIP() << "The test makes network namespaces: " << strWhy;
    CNetnsLab lab("cyc");
    const std::string strC = lab.Add("c"), strH = lab.Add("h");
    ASSERT_TRUE(lab.Link(strC, "vc", "10.78.0.1/24", strH, "vh", "10.78.0.2/24") &&
                lab.Ip(strC, "route add 10.79.0.0/16 via 10.78.0.2") &&
                lab.Ip(strH, "route add blackhole 10.79.2.0/24") &&
                lab.Exec(strH, "sysctl -qw net.ipv4.ip_forward=1"));
    enum EKind { ANSWERS, SILENT_WEB, BLACK_HOLED };
    std::vector<EKind> arrKinds;
    std::vector<std::unique_ptr<CLoopbackHttpServer>> arrServers;
    CCycleWatch watch;
    CVantrelDoc doc(watch, nullptr);
    for (int i = 0; i < 50; ++i) {
        const EKind eKind = i >= 45 ? BLACK_HOLED : i % 9 == 4 ? SILENT_WEB : ANSWERS;
        const std::string strAddress = eKind == BLACK_HOLED ? "10.79.2." + std::to_string(i - 45)
                                                            : "10.79.1." + std::to_string(i);
        if (eKind != BLACK_HOLED) {
            ASSERT_TRUE(lab.Ip(strH, "addr add " + strAddress + "/32 dev lo"));
            arrServers.push_back(lab.InNamespace(strH, [&] {
                return std::make_unique<CLoopbackHttpServer>(
                    eKind == SILENT_WEB ? CLoopbackHttpServer::EMode::Silent
                                        : CLoopbackHttpServer::EMode::Reply,
                    "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok",
                    strAddress.c_str(), 80);
            }));
        }
        auto* pHost = new CHost;
        pHost->m_strTestURL = "http://" + strAddress + "/";
        pHost->m_bTesting = 1;
        doc.AddHost(pHost);
        arrKinds.push_back(eKind);
    }
    ASSERT_EQ(std::ranges::count(arrKinds, SILENT_WEB), 5);

    const Clock::time_point tStart = Clock::now();
    lab.InNamespace(strC, [&] { return TestWorker(doc, {&watch, &watch, &watch, &watch}); });
    EXPECT_LT(watch.m_end - tStart, 75s) << "one web time-out (60 s), not the sum";
    for (size_t i = 0; i < arrKinds.size(); ++i) {
        const CHost& host = *doc.m_arrHosts[i];
        const bool bUp = arrKinds[i] == ANSWERS;
        ASSERT_EQ(watch.m_arrRows[i].size(), 1u) << host.m_strTestURL;
        EXPECT_TRUE(!bUp || watch.m_arrRows[i][0] - tStart < 2s) << host.m_strTestURL;
        EXPECT_EQ(
            std::tuple(host.m_nState, host.m_nTests, host.m_nTestsUp, host.m_pPingHistory->size()),
            std::tuple(bUp ? HOST_UP : HOST_DOWN, 1, bUp ? 1 : 0,
                       size_t(arrKinds[i] == BLACK_HOLED ? 0 : 1)))
            << host.m_strTestURL;
    }
}

} // namespace
