#include "gui_test_support.h"

#include "core/host.h"
#include "core/vantrel_doc.h"
#include "ui/message_box_queue.h"
#include "ui/vantrel_view.h"

#include <QCoreApplication>
#include <QStandardItemModel>

#include <gtest/gtest.h>

namespace {

TEST(ListDrawingTest, StatusColoursGridAndShortenedTexts) {
    CMessageBoxQueue queue;
    CVantrelDoc doc(queue, nullptr);
    for (int nState : {HOST_UP, HOST_DOWN, HOST_UNKNOWN}) {
        auto* pHost = new CHost;
        pHost->m_strName = "Host";
        pHost->m_bTesting = 1;
        pHost->m_nState = nState;
        doc.AddHost(pHost);
    }
    CVantrelView view;
    view.resize(900, 300);
    view.show();
    view.OnInitialUpdate(doc);
    view.SetItemText(2, 3, QStringLiteral("Testing - Unknown, and a great deal more text"));
    view.m_bShowSelAlways = true;
    view.selectionModel()->select(view.GetModel()->index(1, 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QImage shot = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto Cell = [&](int nRow) { return view.visualRect(view.GetModel()->index(nRow, 3)); };
    auto Count = [&](int nRow, QRgb colour) { // pixels of the cell in that colour
        int n = 0;
        for (int y = Cell(nRow).top(); y <= Cell(nRow).bottom(); ++y)
            for (int x = Cell(nRow).left(); x <= Cell(nRow).right(); ++x)
                n += shot.pixel(x, y) == colour;
        return n;
    };
    EXPECT_GT(Count(0, CListViewEx::UP_COLOUR), 5);
    EXPECT_GT(Count(1, CListViewEx::DOWN_COLOUR), 5); // red on the selected row too
    EXPECT_EQ(Count(0, CListViewEx::DOWN_COLOUR) + Count(1, CListViewEx::UP_COLOUR) +
                  Count(2, CListViewEx::UP_COLOUR) + Count(2, CListViewEx::DOWN_COLOUR),
              0);
    EXPECT_EQ(shot.pixel(Cell(0).right(), Cell(0).center().y()), CListViewEx::GRID_COLOUR);
    EXPECT_EQ(shot.pixel(Cell(0).center().x(), Cell(0).bottom()), CListViewEx::GRID_COLOUR);
    const QFontMetrics metrics(view.font());
    const QString strFit = CListViewEx::FitText(metrics, view.GetItemText(2, 3), 130, 12);
    EXPECT_TRUE(strFit.startsWith("Testing - ") && strFit.endsWith("..."));
    EXPECT_LE(metrics.horizontalAdvance(strFit) + 12, 130);
    EXPECT_EQ(CListViewEx::FitText(metrics, "Up", 130, 12), "Up");
    EXPECT_EQ(CListViewEx::FitText(metrics, "Wide", 3, 12), "W...");
}

} // namespace
