// Every window inside the screen, buttons reachable; run per screen size (CMakeLists.txt).
#include "assistant/host_assistant.h"
#include "core/history_store.h"
#include "core/host.h"
#include "core/message_sink.h"
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
#include <QtWidgets>
#include <gtest/gtest.h>

namespace {

class ScreenFitTest : public ::testing::Test, public CMessageSink {
protected:
    void ShowMessage(const std::string&) override {}
    CMessageBoxQueue m_queue;
    CVantrelDoc m_doc{*this, nullptr};
};

// The frame inside the available area, every shown button inside the window.
TEST_F(ScreenFitTest, EveryWindowOpensInsideTheScreen) {
    EnsureApp();
    CScreenFit::Install();
    AddSampleHosts(m_doc, 8, 400);
    QTemporaryDir dir;
    const std::string strHistory = dir.filePath("Vantrel.dat.history").toStdString();
    std::vector<int64_t> arrIds;
    {
        CHistoryStore store;
        ASSERT_NE(store.Open(strHistory), CHistoryStore::EOpen::FAILED);
        arrIds = store.Attach({{"Example", "https://www.example.com/"}});
        ASSERT_TRUE(AddSampleHistory(store, arrIds, 1'800'000'000, 7));
    }
    CMainFrame frame(&m_queue);
    frame.GetView()->OnInitialUpdate(m_doc);
    auto* pOptions = new COptionsDlg(&frame, nullptr);
    pOptions->m_pDoc = &m_doc;
    pOptions->OnInitDialog();
    auto* pHistory = new CHistoryDlg(&frame);
    ASSERT_TRUE(pHistory->Open(strHistory, arrIds[0], "Example", "https://www.example.com/",
                               1'800'000'060));
    std::vector<QWidget*> arrWindows{
        &frame,
        pOptions,
        new CAboutDlg(&frame),
        new CWeightingDialog(&frame),
        CHostGraphDlg::Prepare(&frame, m_doc, 0, nullptr).release(),
        CCompareHostsDlg::Prepare(&frame, m_doc, {}, nullptr).release(),
        pHistory};
    for (int nPage = 0; nPage < CHostAssistant::PAGE_COUNT; ++nPage) {
        auto* pAssistant = new CHostAssistant(&frame, CHost(), false);
        pAssistant->setStartId(nPage);
        arrWindows.push_back(pAssistant);
    }
    for (QWidget* pWindow : arrWindows) {
        SCOPED_TRACE(pWindow->metaObject()->className());
        pWindow->show();
        QCoreApplication::processEvents();
        const QRect rcFrame = pWindow->frameGeometry();
        EXPECT_TRUE(pWindow->screen()->availableGeometry().contains(rcFrame))
            << rcFrame.x() << ',' << rcFrame.y() << ' ' << rcFrame.width() << 'x'
            << rcFrame.height();
        int nButtons = 0;
        for (QAbstractButton* pButton : pWindow->findChildren<QAbstractButton*>()) {
            nButtons += pButton->isVisible();
            EXPECT_TRUE(!pButton->isVisible() ||
                        pWindow->rect().contains(
                            QRect(pButton->mapTo(pWindow, QPoint(0, 0)), pButton->size())))
                << pButton->text().toStdString();
        }
        EXPECT_GT(nButtons, 0);
        pWindow->hide();
    }
}

} // namespace
