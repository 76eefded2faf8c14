// Every window inside the screen, buttons reachable; run per screen size (CMakeLists.txt).
#include "assistant/host_assistant.h"
#include "core/history_store.h"
#include "core/host.h"
#include "core/message_sink.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "graph/compare_hosts_dlg.h"
#include "graph/history_dlg.h"
#include "graph/host_graph_dlg.h"
#include "gui_test_support.h"
#include "report/weighting_dialog.h"
#include "sample_host_graph.h"
#include "ui/about_dlg.h"
#include "ui/main_frame.h"
#include "ui/options_dlg.h"
#include "ui/vantrel_view.h"
#include "widgets/message_box_queue.h"
#include "widgets/screen_fit.h"
#include "widgets/wait_dialog.h"
#include <QtWidgets>
#include <gtest/gtest.h>

namespace {

class ScreenFitTest : public ::testing::Test, public CMessageSink {
protected:
    void ShowMessage(const std::string&) override {}
    static void SetUpTestSuite() {
        EnsureApp();
        CScreenFit::Install();
    }
    // The frame inside the available area, every shown button inside the window.
    static void ExpectFits(QWidget& window, const char* pszName) {
        SCOPED_TRACE(pszName);
        window.show();
        QCoreApplication::processEvents();
        const QRect available = window.screen()->availableGeometry();
        EXPECT_TRUE(available.contains(window.frameGeometry()))
            << Text(window.frameGeometry()) << " on " << Text(available);
        int nButtons = 0;
        for (QAbstractButton* pButton : window.findChildren<QAbstractButton*>()) {
            const QRect rect(pButton->mapTo(&window, QPoint(0, 0)), pButton->size());
            nButtons += pButton->isVisible();
            EXPECT_TRUE(!pButton->isVisible() || window.rect().contains(rect))
                << pButton->text().toStdString();
        }
        EXPECT_GT(nButtons, 0);
        window.hide();
    }
    static std::string Text(const QRect& r) {
        return std::to_string(r.x()) + ',' + std::to_string(r.y()) + ' ' +
               std::to_string(r.width()) + 'x' + std::to_string(r.height());
    }

    CMessageBoxQueue m_queue;
    CVantrelDoc m_doc{*this, nullptr};
};

TEST_F(ScreenFitTest, EveryWindowOpensInsideTheScreenAlsoWhereItWasLeft) {
    AddSampleHosts(m_doc, 8, 400);
    CMainFrame frame(&m_queue);
    frame.GetView()->OnInitialUpdate(m_doc);
    ExpectFits(frame, "main window");
    COptionsDlg options(&frame, nullptr);
    options.m_pDoc = &m_doc;
    options.OnInitDialog();
    ExpectFits(options, "options");
    CAboutDlg about(&frame);
    ExpectFits(about, "about");
    CWeightingDialog weights(&frame);
    ExpectFits(weights, "weights");
    for (int nPage = 0; nPage < CHostAssistant::PAGE_COUNT; ++nPage) {
        CHostAssistant assistant(&frame, CHost(), false);
        assistant.setStartId(nPage);
        ExpectFits(assistant, ("assistant page " + std::to_string(nPage + 1)).c_str());
    }
    ExpectFits(*CHostGraphDlg::Prepare(&frame, m_doc, 0, nullptr), "graph");
    ExpectFits(*CCompareHostsDlg::Prepare(&frame, m_doc, {}, nullptr), "compare");
    QTemporaryDir dir;
    const std::string strHistory = dir.filePath("Vantrel.dat.history").toStdString();
    std::vector<int64_t> arrIds;
    {
        CHistoryStore store;
        ASSERT_NE(store.Open(strHistory), CHistoryStore::EOpen::FAILED);
        arrIds = store.Attach({{"Example", "https://www.example.com/"}});
        ASSERT_TRUE(AddSampleHistory(store, arrIds, 1'800'000'000, 7));
    }
    CHistoryDlg history(&frame);
    ASSERT_TRUE(
        history.Open(strHistory, arrIds[0], "Example", "https://www.example.com/", 1'800'000'060));
    ExpectFits(history, "history");

    // A place remembered on a larger screen comes back inside this one.
    CSettingsStore store(dir.filePath("Vantrel.conf").toStdString());
    const QRect available = frame.screen()->availableGeometry();
    frame.show();
    frame.setGeometry(available.right() - 100, available.bottom() - 100, 3000, 2000);
    QCoreApplication::processEvents();
    frame.SetPlacementStore(&store);
    frame.close();
    CMainFrame again;
    again.SetPlacementStore(&store);
    ExpectFits(again, "remembered main window");
}

} // namespace
