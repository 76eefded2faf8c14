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
#include <arpa/inet.h>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

constexpr int64_t T = 1'800'000'000; // 2027-01-15 08:00:00 UTC
constexpr int64_t NOW = T + 60;

// A test a day from 40 to 3 days ago, then one every 10 minutes for two days with a 40-minute
// refusal 5 hours ago, one 503 an hour ago and a time-out at the end. Every tenth recent test
// loses one of its four echoes.
std::vector<CTestRecord> MadeUpHistory(int64_t nId) {
    std::vector<CTestRecord> arrTests;
    auto Up = [&](int64_t t, int nAnswered, int32_t nTotal) {
        return CTestRecord{nId,       t,   true, "", 200, 0,    AF_INET, 4,
                           nAnswered, 200, 10,   50, 150, 2000, nTotal,  T + 10 * 86400 + 3 * 3600};
    };
    for (int nDays = 40; nDays > 2; --nDays)
        arrTests.push_back(Up(T - nDays * 86400 - 3600, 4, 5000));
    for (int k = 288; k > 0; --k) {
        const char* pszDown = (k >= 27 && k <= 30) ? "connection refused"
                              : k == 6             ? "HTTP 503"
                              : k == 1             ? "timed out"
                                                   : nullptr;
        arrTests.push_back(pszDown
                               ? CTestRecord{nId, T - k * 600, false, pszDown, -1, 0, 0, 4, 0,
                                             k == 6 ? 503 : 0, -1, -1, -1, -1, k == 6 ? 5000 : -1}
                               : Up(T - k * 600, k % 10 == 0 ? 3 : 4, 3120));
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
        CHistoryStore store;
        ASSERT_NE(store.Open(m_strPath), CHistoryStore::EOpen::FAILED) << store.GetLastError();
        m_nHostId = store.Attach({{"Alpha", "https://alpha.example/"}}).at(0);
        ASSERT_TRUE(store.WriteCycle(MadeUpHistory(m_nHostId))) << store.GetLastError();
        ASSERT_TRUE(m_dlg.Open(m_strPath, m_nHostId, "Alpha", "https://alpha.example/", NOW));
    }
    void TearDown() override { CHistoryDlg::SetMessageFunction({}); }
    void ShowMessage(const std::string&) override {}

    CTempDir m_dir;
    std::string m_strPath = m_dir / "Vantrel.dat.history";
    int64_t m_nHostId = 0;
    Texts m_arrMessages;
    CHistoryDlg m_dlg;
};

// The figures of each range, the outages newest first (from the first down test to the first up
// test), and the refusal 5 hours ago shaded where its time falls, the hour after it not.
TEST_F(HistoryDlgTest, ShowsOutagesUptimeLossCertificateAndShading) {
    Texts arrFigures;
    for (int nFigure = 0; nFigure < CHistoryDlg::FIGURE_COUNT; ++nFigure)
        for (int nRange = 0; nRange < CHistoryDlg::RANGE_COUNT; ++nRange)
            arrFigures.push_back(m_dlg.GetFigure(nFigure, nRange));
    EXPECT_EQ(arrFigures, (Texts{"95.80%", "97.94%", "98.09%", "98.15%", // uptime
                                 "143", "292", "315", "326",             // tests
                                 "6.46% (535/572)", "4.36% (1117/1168)", "4.04% (1209/1260)",
                                 "3.91% (1253/1304)", // loss
                                 "312 ms", "312 ms", "312 ms", "312 ms"}));
    EXPECT_EQ(m_dlg.GetCertificateText(), "Certificate expires 2027-01-25 11:00 (in 10 days)");
    const Texts arrDay = {
        "2027-01-15 07:50 | still down | 11m 00s | timed out | 2027-01-15 07:40",
        "2027-01-15 07:00 | 2027-01-15 07:10 | 10m 00s | HTTP 503 | 2027-01-15 06:50",
        "2027-01-15 03:00 | 2027-01-15 03:40 | 40m 00s | connection refused | 2027-01-15 02:50"};
    EXPECT_EQ(m_dlg.GetOutageRows(), arrDay);
    EXPECT_EQ(m_dlg.GetOutageSummary(), "3 outages, longest 40m 00s, 1h 01m down in all");
    CTimeChart& chart = m_dlg.GetChart();
    chart.resize(1000, 400);
    auto ColourAt = [&](int64_t t) {
        QImage image(chart.size(), QImage::Format_RGB32);
        chart.render(&image);
        return image.pixelColor(chart.TimeX(t), chart.GetLayout().m_rcPlot.top + 3);
    };
    EXPECT_EQ(ColourAt(T - 17000), CTimeChart::DOWN_SHADE);
    EXPECT_EQ(ColourAt(T - 12000), QColor(Qt::white));
    // The ping line (20 ms) bridges the columns between two tests.
    QImage image(chart.size(), QImage::Format_RGB32);
    chart.render(&image);
    EXPECT_EQ(image.pixelColor(chart.TimeX(T - 12300), chart.GetLayout().PointY(20)),
              QColor(72, 190, 103));
    EXPECT_EQ(ColourAt(T - 3300), CTimeChart::DOWN_SHADE);
    for (int nRange : {CHistoryDlg::RANGE_WEEK, CHistoryDlg::RANGE_ALL}) {
        m_dlg.SetRange(nRange);
        EXPECT_EQ(m_dlg.GetOutageRows(), arrDay) << nRange; // the older days were all up
    }
    EXPECT_EQ(ColourAt(T - 20 * 86400), QColor(Qt::white));
    EXPECT_EQ(m_arrMessages, Texts{});
}

// The range's tests as CSV; a quoted reason; a folder in the way: a message, nothing written.
TEST_F(HistoryDlgTest, ExportsTheRangesTestsAsCsv) {
    ASSERT_TRUE(m_dlg.ExportCsv(m_dir / "out.csv"));
    const std::string strBytes = ReadFileBytes(m_dir / "out.csv");
    EXPECT_EQ(std::count(strBytes.begin(), strBytes.end(), '\n'), 144); // header, 24 hours
    EXPECT_EQ(strBytes.substr(strBytes.find('\n') + 1, 24), "2027-01-14T08:10:00Z,up,");
    EXPECT_TRUE(strBytes.ends_with("\n2027-01-15T07:50:00Z,down,timed out,,icmp,,4,0,,,,,,,\n"));
    CTestRecord test{0, T, false, "TLS failure: \"bad\", caf\xE9", -1, PING_METHOD_TCP};
    EXPECT_EQ(
        CHistoryCsv::Line(test),
        "2027-01-15T08:00:00Z,down,\"TLS failure: \"\"bad\"\", caf\xC3\xA9\",,tcp,,0,0,,,,,,,\n");
    std::filesystem::create_directory(m_dir / "folder.csv");
    EXPECT_FALSE(m_dlg.ExportCsv(m_dir / "folder.csv"));
    ASSERT_EQ(m_arrMessages.size(), 1u);
    EXPECT_TRUE(m_arrMessages[0].starts_with("The history could not be exported.\n"))
        << m_arrMessages[0];
    EXPECT_TRUE(std::filesystem::is_directory(m_dir / "folder.csv"));
}

// The command: what is missing told; the list's host opened beside its data file, the size kept.
TEST_F(HistoryDlgTest, CommandOpensTheListsHostOrTellsWhatIsMissing) {
    WriteFileBytes(m_dir / "Vantrel.dat", "");
    CVantrelDoc doc(*this, nullptr);
    ASSERT_EQ(doc.LoadHosts(m_dir / "Vantrel.dat").m_eResult, CHostsFile::LOAD_OK);
    auto* pHost = new CHost;
    pHost->m_strName = "Alpha";
    doc.AddHost(pHost);
    QWidget parent;
    for (int nRow : {-1, 1, 0})
        EXPECT_EQ(CHistoryDlg::Prepare(&parent, doc, nRow, nullptr), nullptr);
    CHistoryDlg dlg;
    EXPECT_FALSE(dlg.Open(m_dir / "none.history", 1, "X", "", NOW));
    ASSERT_EQ(m_arrMessages.size(), 4u);
    EXPECT_EQ(Texts(m_arrMessages.begin(), m_arrMessages.begin() + 3),
              (Texts{"Please select a web host to show the history for.",
                     "Please select a web host to show the history for.",
                     "There is no history for this host yet: it is recorded from the host's "
                     "next test on."}));
    EXPECT_TRUE(m_arrMessages[3].starts_with("The history cannot be read.\n")) << m_arrMessages[3];
    EXPECT_FALSE(std::filesystem::exists(m_dir / "none.history"));

    ASSERT_TRUE(doc.OpenHistory());
    CSettingsStore settings(m_dir / "Vantrel.conf");
    CHistoryDlg::SetPlacementStore(&settings);
    for (QSize size : {QSize(700, 600), QSize()}) {
        auto pDlg = CHistoryDlg::Prepare(&parent, doc, 0, nullptr);
        ASSERT_NE(pDlg, nullptr);
        EXPECT_EQ(pDlg->windowTitle(), "History of Alpha - Vantrel");
        pDlg->show();
        if (size.isValid())
            pDlg->resize(size), pDlg->reject();
        else
            EXPECT_EQ(pDlg->size(), QSize(700, 600));
    }
    CHistoryDlg::SetPlacementStore(nullptr);
    EXPECT_EQ(m_arrMessages.size(), 4u);
}

} // namespace
