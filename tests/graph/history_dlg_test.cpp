#include "graph/history_dlg.h"

#include "core/history_store.h"
#include "core/host.h"
#include "core/hosts_file.h"
#include "core/message_sink.h"
#include "core/settings_store.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "graph/history_csv.h"
#include "graph/time_chart.h"
#include "gui_test_support.h"
#include <QImage>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using Texts = std::vector<std::string>;

constexpr int64_t T = 1'800'000'000; // 2027-01-15 08:00:00 UTC
constexpr int64_t NOW = T + 60;
constexpr int64_t CERT = T + 10 * 86400 + 3 * 3600;

// A made-up history: a test a day from 40 to 3 days ago, then one every 10 minutes for two
// days with a 40-minute refusal 5 hours ago, one 503 an hour ago and a time-out at the end.
// Every tenth recent test loses one of its four echoes.
std::vector<CTestRecord> MadeUpHistory(int64_t nHostId) {
    std::vector<CTestRecord> arrTests;
    auto Up = [&](int64_t t, int nAnswered, int32_t nTotal) {
        return CTestRecord{nHostId,   t,   true, "", 200, 0,    AF_INET, 4,
                           nAnswered, 200, 10,   50, 150, 2000, nTotal,  CERT};
    };
    for (int nDays = 40; nDays > 2; --nDays)
        arrTests.push_back(Up(T - nDays * 86400 - 3600, 4, 5000));
    for (int k = 288; k > 0; --k) {
        CTestRecord test = Up(T - k * 600, k % 10 == 0 ? 3 : 4, 3120);
        const char* pszDown = (k >= 27 && k <= 30) ? "connection refused"
                              : k == 6             ? "HTTP 503"
                              : k == 1             ? "timed out"
                                                   : nullptr;
        if (pszDown)
            test = CTestRecord{.nHostId = nHostId,
                               .tWhen = T - k * 600,
                               .strReason = pszDown,
                               .nEchoesSent = 4,
                               .nHttpStatus = k == 6 ? 503 : 0,
                               .nTotalTenths = k == 6 ? 5000 : -1};
        arrTests.push_back(test);
    }
    return arrTests;
}

class HistoryDlgTest : public ::testing::Test, public CMessageSink {
protected:
    static void SetUpTestSuite() {
        EnsureApp();
        setenv("TZ", "UTC", 1); // the window shows local times
        tzset();
    }
    void SetUp() override {
        CHistoryDlg::SetMessageFunction(
            [this](QWidget*, const std::string& strText) { m_arrMessages.push_back(strText); });
        m_strPath = m_dir.filePath("Vantrel.dat.history").toStdString();
        CHistoryStore store;
        ASSERT_NE(store.Open(m_strPath), CHistoryStore::EOpen::FAILED) << store.GetLastError();
        m_nHostId = store.Attach({{"Alpha", "https://alpha.example/"}}).at(0);
        ASSERT_TRUE(store.WriteCycle(MadeUpHistory(m_nHostId))) << store.GetLastError();
    }
    void TearDown() override { CHistoryDlg::SetMessageFunction({}); }
    void ShowMessage(const std::string&) override {}

    QTemporaryDir m_dir;
    std::string m_strPath;
    int64_t m_nHostId = 0;
    Texts m_arrMessages;
};

TEST_F(HistoryDlgTest, ShowsOutagesUptimeLossAndCertificateOfEachRange) {
    CHistoryDlg dlg;
    ASSERT_TRUE(dlg.Open(m_strPath, m_nHostId, "Alpha", "https://alpha.example/", NOW));
    EXPECT_EQ(dlg.windowTitle(), "History of Alpha - Vantrel");
    Texts arrFigures;
    for (int nFigure = 0; nFigure < CHistoryDlg::FIGURE_COUNT; ++nFigure)
        for (int nRange = 0; nRange < CHistoryDlg::RANGE_COUNT; ++nRange)
            arrFigures.push_back(dlg.GetFigure(nFigure, nRange));
    EXPECT_EQ(arrFigures, (Texts{"95.80%", "97.94%", "98.09%", "98.15%", // uptime
                                 "143", "292", "315", "326",             // tests
                                 "6.46% (535/572)", "4.36% (1117/1168)", "4.04% (1209/1260)",
                                 "3.91% (1253/1304)", // loss
                                 "312 ms", "312 ms", "312 ms", "312 ms"}));
    EXPECT_EQ(dlg.GetCertificateText(), "Certificate expires 2027-01-25 11:00 (in 10 days)");

    // Newest first; the refusal began at its first down test and ended at the first up test.
    const Texts arrDay = {
        "2027-01-15 07:50 | still down | 11m 00s | timed out | 2027-01-15 07:40",
        "2027-01-15 07:00 | 2027-01-15 07:10 | 10m 00s | HTTP 503 | 2027-01-15 06:50",
        "2027-01-15 03:00 | 2027-01-15 03:40 | 40m 00s | connection refused | 2027-01-15 02:50"};
    EXPECT_EQ(dlg.GetOutageRows(), arrDay);
    EXPECT_EQ(dlg.GetOutageSummary(), "3 outages, longest 40m 00s, 1h 01m down in all");
    for (int nRange : {CHistoryDlg::RANGE_WEEK, CHistoryDlg::RANGE_ALL}) {
        dlg.SetRange(nRange);
        EXPECT_EQ(dlg.GetOutageRows(), arrDay) << nRange; // the older days were all up
    }
    EXPECT_EQ(m_arrMessages, Texts{});
}

// The real time axis: the refusal 5 hours ago is shaded where its time falls, the hour after
// it is not; a range without tests shows neither.
TEST_F(HistoryDlgTest, DownPeriodsAreShadedAtTheirTime) {
    CHistoryDlg dlg;
    ASSERT_TRUE(dlg.Open(m_strPath, m_nHostId, "Alpha", "https://alpha.example/", NOW));
    CTimeChart& chart = dlg.GetChart();
    chart.resize(1000, 400);
    auto ColourAt = [&](int64_t t) {
        QImage image(chart.size(), QImage::Format_RGB32);
        chart.render(&image);
        const int y = chart.GetLayout().m_rcPlot.top + 3;
        return image.pixelColor(chart.TimeX(t), y);
    };
    EXPECT_EQ(ColourAt(T - 17000), CTimeChart::DOWN_SHADE);
    EXPECT_EQ(ColourAt(T - 12000), QColor(Qt::white));
    EXPECT_EQ(ColourAt(T - 3300), CTimeChart::DOWN_SHADE);
    dlg.SetRange(CHistoryDlg::RANGE_ALL);
    EXPECT_EQ(ColourAt(T - 20 * 86400), QColor(Qt::white));
}

// The range's tests as CSV, written whole or not at all.
TEST_F(HistoryDlgTest, ExportsTheRangesTestsAsCsv) {
    CHistoryDlg dlg;
    ASSERT_TRUE(dlg.Open(m_strPath, m_nHostId, "Alpha", "https://alpha.example/", NOW));
    const std::string strCsv = m_dir.filePath("out.csv").toStdString();
    ASSERT_TRUE(dlg.ExportCsv(strCsv));
    const std::string strBytes = ReadFileBytes(strCsv);
    std::vector<std::string> arrLines;
    std::istringstream lines(strBytes);
    for (std::string strLine; std::getline(lines, strLine);)
        arrLines.push_back(strLine);
    ASSERT_EQ(arrLines.size(), 144u); // the header and the 143 tests of the last 24 hours
    EXPECT_EQ(arrLines[0], "time,up,reason,ping_ms,method,family,echoes_sent,echoes_answered,"
                           "http_status,dns_ms,connect_ms,tls_ms,first_byte_ms,total_ms,"
                           "cert_expiry");
    EXPECT_EQ(arrLines[1], "2027-01-14T08:10:00Z,up,,20.0,icmp,ipv4,4,4,200,1.0,5.0,15.0,200.0,"
                           "312.0,2027-01-25T11:00:00Z");
    EXPECT_EQ(arrLines[138], "2027-01-15T07:00:00Z,down,HTTP 503,,icmp,,4,0,503,,,,,500.0,");
    EXPECT_EQ(arrLines[143], "2027-01-15T07:50:00Z,down,timed out,,icmp,,4,0,,,,,,,");
    EXPECT_EQ(strBytes.back(), '\n');

    // A reason with the separator or quotes is quoted, its Latin-1 written as UTF-8.
    CTestRecord test;
    test.tWhen = T;
    test.strReason = "TLS failure: \"bad\", caf\xE9";
    test.nMethod = PING_METHOD_TCP;
    EXPECT_EQ(
        CHistoryCsv::Line(test),
        "2027-01-15T08:00:00Z,down,\"TLS failure: \"\"bad\"\", caf\xC3\xA9\",,tcp,,0,0,,,,,,,\n");

    // A folder in the way: a message, and nothing left behind.
    const std::string strFolder = m_dir.filePath("folder.csv").toStdString();
    std::filesystem::create_directory(strFolder);
    EXPECT_FALSE(dlg.ExportCsv(strFolder));
    ASSERT_EQ(m_arrMessages.size(), 1u);
    EXPECT_EQ(m_arrMessages[0].rfind("The history could not be exported.\n", 0), 0u)
        << m_arrMessages[0];
    EXPECT_TRUE(std::filesystem::is_directory(strFolder));
}

// The command opens the history beside the list's data file; the window keeps its size.
TEST_F(HistoryDlgTest, OpensForTheListsHostAndRemembersItsSize) {
    const std::string strData = m_dir.filePath("Vantrel.dat").toStdString();
    std::ofstream(strData).close();
    CVantrelDoc doc(*this, nullptr);
    ASSERT_EQ(doc.LoadHosts(strData).m_eResult, CHostsFile::LOAD_OK);
    ASSERT_TRUE(doc.OpenHistory());
    auto* pHost = new CHost;
    pHost->m_strName = "Alpha";
    doc.AddHost(pHost);
    ASSERT_NE(pHost->m_nHistoryId, 0);
    CSettingsStore settings(m_dir.filePath("Vantrel.conf").toStdString());
    CHistoryDlg::SetPlacementStore(&settings);
    QWidget parent;
    auto pDlg = CHistoryDlg::Prepare(&parent, doc, 0, nullptr);
    ASSERT_NE(pDlg, nullptr);
    EXPECT_EQ(pDlg->windowTitle(), "History of Alpha - Vantrel");
    pDlg->show();
    pDlg->resize(700, 600);
    pDlg->reject();
    pDlg = CHistoryDlg::Prepare(&parent, doc, 0, nullptr);
    ASSERT_NE(pDlg, nullptr);
    pDlg->show();
    EXPECT_EQ(pDlg->size(), QSize(700, 600));
    CHistoryDlg::SetPlacementStore(nullptr);
    EXPECT_EQ(m_arrMessages, Texts{});
}

TEST_F(HistoryDlgTest, CommandTellsWhatIsMissing) {
    CVantrelDoc doc(*this, nullptr);
    auto* pHost = new CHost;
    pHost->m_strName = "Fresh";
    doc.AddHost(pHost);
    pHost->m_nHistoryId = 0;
    QWidget parent;
    EXPECT_EQ(CHistoryDlg::Prepare(&parent, doc, -1, nullptr), nullptr);
    EXPECT_EQ(CHistoryDlg::Prepare(&parent, doc, 1, nullptr), nullptr);
    EXPECT_EQ(CHistoryDlg::Prepare(&parent, doc, 0, nullptr), nullptr);
    CHistoryDlg dlg;
    EXPECT_FALSE(dlg.Open(m_dir.filePath("none.history").toStdString(), 1, "X", "", NOW));
    ASSERT_EQ(m_arrMessages.size(), 4u);
    EXPECT_EQ(Texts(m_arrMessages.begin(), m_arrMessages.begin() + 3),
              (Texts{"Please select a web host to show the history for.",
                     "Please select a web host to show the history for.",
                     "There is no history for this host yet: it is recorded from the host's "
                     "next test on."}));
    EXPECT_EQ(m_arrMessages[3].rfind("The history cannot be read.\n", 0), 0u) << m_arrMessages[3];
    EXPECT_FALSE(std::filesystem::exists(m_dir.filePath("none.history").toStdString()));
}

} // namespace
