#include "gui_test_support.h"

#include "ui/artwork.h"
#include "ui/masked_picture.h"
#include "ui/message_box.h"
#include "ui/message_box_queue.h"
#include "ui/styled_label.h"
#include "ui/wait_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class WidgetsTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApp(); }
};

TEST_F(WidgetsTest, MessageBoxesOfferTheirButtonsOnTopWithoutIcon) {
    CBoxAnswerer answerer(QMessageBox::No);
    QWidget owner;
    CMessageBox::Information(&owner, QStringLiteral("Line one\nLine two"));
    EXPECT_FALSE(CMessageBox::Question(&owner, QStringLiteral("Delete it?")));
    answerer.SetAnswer(QMessageBox::Yes);
    EXPECT_TRUE(CMessageBox::Question(&owner, QStringLiteral("Delete it?")));
    CMessageBox::Error(QStringLiteral("Another instance of Vantrel is already running"),
                       QStringLiteral("Error"));

    ASSERT_EQ(answerer.m_arrSeen.size(), 4u);
    const auto& info = answerer.m_arrSeen[0];
    EXPECT_EQ(info.strTitle, "Vantrel");
    EXPECT_EQ(info.strText, "Line one\nLine two");
    EXPECT_EQ(info.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(info.icon, QMessageBox::NoIcon);
    EXPECT_TRUE(info.bOnTop);
    EXPECT_TRUE(info.bHasOwner);
    for (const auto& seen : answerer.m_arrSeen)
        EXPECT_TRUE(seen.bModal) << seen.strText.toStdString();

    const auto& question = answerer.m_arrSeen[1];
    EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question.defaultButton, QMessageBox::No);
    EXPECT_TRUE(question.bOnTop);

    const auto& error = answerer.m_arrSeen[3];
    EXPECT_EQ(error.strTitle, "Error");
    EXPECT_EQ(error.icon, QMessageBox::Critical);
    EXPECT_FALSE(error.bHasOwner);
    EXPECT_TRUE(error.bOnTop);
}

TEST_F(WidgetsTest, WaitDialogStepsByTenAndStartsAgainAfterTheEnd) {
    CWaitDialog dlg(nullptr);
    EXPECT_EQ(dlg.windowTitle(), "Vantrel");
    auto* pText = dlg.findChild<QLabel*>(QStringLiteral("waitText"));
    ASSERT_NE(pText, nullptr);
    EXPECT_EQ(pText->text(), "Waiting for pings to finish.");
    EXPECT_TRUE(dlg.findChildren<QAbstractButton*>().isEmpty());
    auto* pBar = dlg.findChild<QProgressBar*>();
    ASSERT_NE(pBar, nullptr);
    EXPECT_EQ(pBar->minimum(), 0);
    EXPECT_EQ(pBar->maximum(), 100);

    EXPECT_FALSE(dlg.isVisible());
    dlg.BeginWait();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.IsWaiting());
    std::vector<int> positions;
    for (int i = 0; i < 12; ++i) {
        dlg.StepWait();
        positions.push_back(dlg.GetPosition());
    }
    EXPECT_EQ(positions, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0, 10}));
    dlg.EndWait();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(dlg.IsWaiting());

    // A new wait starts from the beginning; the user cannot close the dialog.
    dlg.BeginWait();
    EXPECT_EQ(dlg.GetPosition(), 0);
    dlg.close();
    EXPECT_TRUE(dlg.isVisible());
    dlg.EndWait();
}

TEST_F(WidgetsTest, WorkerBoxBlocksUntilTheUserInterfaceShowsAndClosesIt) {
    CBoxAnswerer answerer;
    CMessageBoxQueue queue;
    std::atomic<bool> bReturned{false};
    std::thread worker([&] {
        queue.ShowMessage("Host \xE9t\xE9 down");
        bReturned = true;
    });
    // Without the event loop nothing serves it: the worker stays blocked.
    while (queue.GetPendingCount() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(bReturned);
    EXPECT_TRUE(answerer.m_arrSeen.empty());
    // The idle event loop serves it.
    EXPECT_TRUE(SpinUntil([&] { return bReturned.load(); }, 5000));
    worker.join();
    ASSERT_EQ(answerer.m_arrSeen.size(), 1u);
    EXPECT_EQ(answerer.m_arrSeen[0].strText, QString::fromLatin1("Host \xE9t\xE9 down"));
    EXPECT_EQ(answerer.m_arrSeen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST_F(WidgetsTest, WaitDialogServesQueuedBoxesWithoutTheEventLoop) {
    CBoxAnswerer answerer;
    CMessageBoxQueue queue;
    CWaitDialog dlg(nullptr, &queue);
    std::atomic<bool> bReturned{false};
    std::thread worker([&] {
        queue.ShowMessage("first");
        queue.ShowMessage("second");
        bReturned = true;
    });
    while (queue.GetPendingCount() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // During the first short try nothing is shown yet.
    dlg.Serve();
    EXPECT_TRUE(answerer.m_arrSeen.empty());
    EXPECT_EQ(queue.GetPendingCount(), 1u);
    // Only Serve() runs here, as inside a wait for the worker.
    dlg.BeginWait();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!bReturned && std::chrono::steady_clock::now() < deadline) {
        dlg.Serve();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    dlg.EndWait();
    EXPECT_TRUE(bReturned);
    worker.join();
    EXPECT_EQ(answerer.Texts(), (QStringList{"first", "second"}));
}

TEST_F(WidgetsTest, ClosingTheQueueReleasesAWaitingWorker) {
    auto pQueue = std::make_unique<CMessageBoxQueue>();
    std::atomic<bool> bReturned{false};
    std::thread worker([&] {
        pQueue->ShowMessage("never shown");
        bReturned = true;
    });
    while (pQueue->GetPendingCount() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    pQueue.reset();
    worker.join();
    EXPECT_TRUE(bReturned);
    // The queued serve call died with the queue: nothing is shown afterwards.
    CBoxAnswerer answerer;
    SpinUntil([] { return false; }, 50);
    EXPECT_TRUE(answerer.m_arrSeen.empty());
}

TEST_F(WidgetsTest, StyledLabelKeepsFaceAndCharacterHeightOnButtonFace) {
    QWidget dialog;
    CStyledLabel label(&dialog);
    EXPECT_EQ(label.font(), QApplication::font());
    label.SetLabelText(QStringLiteral("Send error messages")).SetFace(QStringLiteral("Verdana"));
    label.SetCharHeight(18);
    EXPECT_EQ(label.text(), "Send error messages");
    EXPECT_EQ(label.font().family(), "Verdana");
    EXPECT_EQ(label.font().pixelSize(), 18);
    label.SetFace(QStringLiteral("DejaVu Sans")).SetCharHeight(20);
    EXPECT_EQ(label.font().family(), "DejaVu Sans");
    EXPECT_EQ(label.font().pixelSize(), 20);
    EXPECT_TRUE(label.autoFillBackground());
    EXPECT_EQ(label.palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Button));
    EXPECT_EQ(label.palette().color(QPalette::WindowText),
              QApplication::palette().color(QPalette::WindowText));

    // Drawn: some pixel of the text differs from the background.
    label.resize(300, 30);
    const QImage shot = label.grab().toImage();
    const QRgb back = shot.pixel(shot.width() - 1, shot.height() - 1);
    EXPECT_EQ(QColor(back), QApplication::palette().color(QPalette::Button));
    bool bInk = false;
    for (int x = 0; x < shot.width() && !bInk; ++x)
        for (int y = 0; y < shot.height() && !bInk; ++y)
            bInk = shot.pixel(x, y) != back;
    EXPECT_TRUE(bInk);
}

TEST_F(WidgetsTest, MaskedPictureShowsTheBackgroundThroughMagenta) {
    QWidget dialog;
    dialog.setAutoFillBackground(true);
    QPalette pal = dialog.palette();
    pal.setColor(QPalette::Window, QColor(10, 200, 30));
    dialog.setPalette(pal);
    dialog.resize(100, 100);

    QImage bitmap(20, 10, QImage::Format_RGB32);
    bitmap.fill(CArtwork::MAGENTA);
    bitmap.setPixel(5, 5, qRgb(0, 0, 255));
    bitmap.setPixel(6, 5, qRgb(254, 0, 255)); // close to magenta, but not magenta

    CMaskedPicture picture(&dialog);
    picture.setGeometry(10, 10, 40, 30); // larger than the bitmap
    picture.SetBitmap(bitmap);
    const QImage shot = dialog.grab().toImage();
    EXPECT_EQ(shot.pixel(15, 15), qRgb(0, 0, 255));
    EXPECT_EQ(shot.pixel(16, 15), qRgb(254, 0, 255));
    EXPECT_EQ(shot.pixel(10, 10), qRgb(10, 200, 30)); // magenta of the bitmap
    EXPECT_EQ(shot.pixel(45, 35), qRgb(10, 200, 30)); // outside the bitmap

    // Without a bitmap it is a plain static text.
    CMaskedPicture empty(&dialog);
    empty.setGeometry(0, 60, 100, 30);
    empty.setText(QStringLiteral("WWWW"));
    const QImage plain = dialog.grab().toImage();
    bool bInk = false;
    for (int x = 0; x < 100 && !bInk; ++x)
        for (int y = 60; y < 90 && !bInk; ++y)
            bInk = plain.pixel(x, y) != qRgb(10, 200, 30);
    EXPECT_TRUE(bInk);
}

TEST_F(WidgetsTest, ArtworkHasTheAgreedSizesAndMagentaBackgrounds) {
    const QImage strip = CArtwork::ToolbarStrip(false);
    EXPECT_EQ(strip.size(), QSize(48 * 8, 47));
    const QImage low = CArtwork::ToolbarStrip(true);
    EXPECT_EQ(low.size(), strip.size());
    EXPECT_EQ(strip.pixel(0, 0), CArtwork::MAGENTA);
    EXPECT_EQ(low.pixel(0, 0), CArtwork::MAGENTA);
    const QImage checks = CArtwork::CheckBoxStrip();
    EXPECT_EQ(checks.size(), QSize(52, 16));
    EXPECT_EQ(checks.pixel(0, 0), CArtwork::MAGENTA);
    // The ticked box differs from the empty one inside the box.
    EXPECT_NE(checks.copy(0, 0, 26, 16), checks.copy(26, 0, 26, 16));
    EXPECT_EQ(CArtwork::Logo().pixel(0, 0), CArtwork::MAGENTA);
    EXPECT_EQ(CArtwork::ProgramIcon(32).size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(CArtwork::MaskMagenta(strip).pixel(0, 0)), 0);
}

} // namespace
