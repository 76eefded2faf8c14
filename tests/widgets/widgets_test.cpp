#include "gui_test_support.h"

#include "widgets/contrast.h"
#include "widgets/list_view_ex.h"
#include "widgets/message_box.h"
#include "widgets/message_box_queue.h"
#include "widgets/wait_dialog.h"
#include <QtWidgets>
#include <gtest/gtest.h>
#include <thread>

namespace {

CHostNotice Notice(const std::string& strServer,
                   CHostNotice::EKind eKind = CHostNotice::HOST_DOWN) {
    CHostNotice notice;
    notice.m_eKind = eKind;
    notice.m_strName = strServer;
    notice.m_strText = "The URL http://" + strServer + " became unavailable.";
    notice.m_strItem = "http://" + strServer;
    return notice;
}

QStringList OpenTexts(const CMessageBoxQueue& queue) {
    QStringList texts;
    for (const QMessageBox* pBox : queue.GetOpenBoxes())
        texts << pBox->text();
    texts.sort();
    return texts;
}

// A peer's text cannot pose as a line of its own or steer the box: control characters show.
TEST(WidgetsTest, BoxesShowControlCharactersVisibly) {
    EnsureApp();
    CBoxAnswerer answerer;
    CMessageBox::Information(nullptr, "554 rejected\rThe test e-mail was sent\x1b[2J\t" +
                                          QString(QChar(0x85)) + "\nnext");
    EXPECT_EQ(answerer.Texts(),
              QStringList{"554 rejected\\rThe test e-mail was sent\\x1b[2J\\t\\x85\nnext"});
}

// The status colours drawn readable on light, dark and selected rows, keeping their hue.
TEST(WidgetsTest, StatusColoursReadableOnAnyBackground) {
    for (QColor back : {QColor(Qt::white), QColor(35, 35, 35), QColor(42, 130, 218)})
        for (QRgb wanted : {CListViewEx::UP_COLOUR, CListViewEx::DOWN_COLOUR}) {
            const QColor colour = CContrast::Readable(QColor(wanted), back);
            EXPECT_GE(CContrast::Ratio(colour, back), CContrast::AA) << colour.name().toStdString();
            EXPECT_NEAR(colour.hsvHue(), QColor(wanted).hsvHue(), 6) << colour.name().toStdString();
        }
}

// Worker messages never wait, show without a modal loop and gather by kind while open.
TEST(WidgetsTest, WorkerMessagesNeverWaitAndAreGathered) {
    EnsureApp();
    QWidget owner;
    CMessageBoxQueue queue;
    queue.SetOwner(&owner);
    std::vector<std::string> arrNotified;
    queue.SetNotifier([&](const CHostNotice& notice) { arrNotified.push_back(notice.m_strName); });
    std::thread worker([&] { // nobody serves meanwhile
        queue.ShowMessage("Host \xE9t\xE9 lost");
        queue.ShowMessage("Host \xE9t\xE9 lost");
        for (const char* pszServer : {"a.test", "b.test", "c.test"})
            queue.ShowHostNotice(Notice(pszServer));
    });
    worker.join();
    EXPECT_EQ(queue.GetPendingCount(), 5u);
    CWaitDialog dlg(nullptr, &queue); // steps by ten, and the user cannot close it
    dlg.BeginWait();
    dlg.close();
    std::vector<int> positions;
    for (int i = 0; i < 12; ++i) {
        dlg.StepWait();
        positions.push_back(dlg.GetPosition());
    }
    EXPECT_EQ(positions, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0, 10}));
    EXPECT_TRUE(dlg.isVisible());
    dlg.Serve();
    dlg.EndWait();
    EXPECT_FALSE(dlg.isVisible());
    const QString LOST = QString::fromLatin1("Host \xE9t\xE9 lost");
    EXPECT_EQ(OpenTexts(queue),
              (QStringList{"3 hosts became unavailable: http://a.test, http://b.test, "
                           "http://c.test.",
                           LOST}));
    EXPECT_EQ(arrNotified, (std::vector<std::string>{"a.test", "b.test", "c.test"}));

    // A closed box is not added to; hosts up and certificates expiring gather on their own.
    for (QMessageBox* pBox : queue.GetOpenBoxes())
        if (pBox->text().startsWith("3 "))
            pBox->buttons().value(0)->click();
    const CHostNotice up = Notice("d.test", CHostNotice::HOST_UP),
                      cert = Notice("e.test", CHostNotice::CERT_EXPIRING);
    for (const CHostNotice& notice : {Notice("d.test"), up, cert, up, cert})
        queue.ShowHostNotice(notice);
    queue.Serve();
    EXPECT_EQ(OpenTexts(queue), (QStringList{"2 certificates expire soon: http://e.test, "
                                             "http://e.test.",
                                             "2 hosts are up again: http://d.test, http://d.test.",
                                             LOST, "The URL http://d.test became unavailable."}));
}

} // namespace
