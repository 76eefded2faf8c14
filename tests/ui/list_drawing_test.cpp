#include "gui_test_support.h"

#include "core/host.h"
#include "core/vantrel_doc.h"
#include "ui/list_view_ex.h"
#include "ui/message_box_queue.h"
#include "ui/vantrel_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QStandardItemModel>

#include <gtest/gtest.h>

namespace {

bool IsGreen(QRgb px) {
    return qGreen(px) > qRed(px) + 40 && qGreen(px) > qBlue(px) + 40;
}

bool IsRed(QRgb px) {
    return qRed(px) > qGreen(px) + 60;
}

class ListDrawingTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pDoc = std::make_unique<CVantrelDoc>(m_queue, nullptr);
        const int arrStates[] = {HOST_UP, HOST_DOWN, HOST_UNKNOWN};
        for (int nState : arrStates) {
            auto* pHost = new CHost;
            pHost->m_strName = "Host " + std::to_string(nState);
            pHost->m_strTestURL = "http://example.com/";
            pHost->m_bTesting = 1;
            pHost->m_nState = nState;
            m_pDoc->AddHost(pHost);
        }
        m_view.resize(900, 300);
        m_view.show();
        QCoreApplication::processEvents();
        m_view.OnInitialUpdate(*m_pDoc);
        QCoreApplication::processEvents();
    }

    QRect Cell(int nRow, int nColumn) {
        return m_view.visualRect(m_view.GetModel()->index(nRow, nColumn));
    }

    QImage Shot() {
        return m_view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    static int Count(const QImage& image, const QRect& rect, bool (*pred)(QRgb)) {
        int n = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                n += pred(image.pixel(x, y)) ? 1 : 0;
        return n;
    }

    // Leftmost column inside the cell's margins holding a pixel unlike the row background.
    static int FirstInk(const QImage& image, const QRect& cell, QRgb back) {
        for (int x = cell.left() + 1; x < cell.right(); ++x)
            for (int y = cell.top() + 1; y < cell.bottom(); ++y)
                if (image.pixel(x, y) != back)
                    return x;
        return -1;
    }

    CMessageBoxQueue m_queue;
    std::unique_ptr<CVantrelDoc> m_pDoc;
    CVantrelView m_view;
};

TEST_F(ListDrawingTest, StatusCellsAreGreenAndRedSelectedOrNot) {
    QImage shot = Shot();
    EXPECT_GT(Count(shot, Cell(0, 3), IsGreen), 10);
    EXPECT_EQ(Count(shot, Cell(0, 3), IsRed), 0);
    EXPECT_GT(Count(shot, Cell(1, 3), IsRed), 10);
    EXPECT_EQ(Count(shot, Cell(1, 3), IsGreen), 0);
    EXPECT_EQ(Count(shot, Cell(2, 3), IsGreen) + Count(shot, Cell(2, 3), IsRed), 0);
    // Only the status cell is coloured.
    EXPECT_EQ(Count(shot, Cell(0, 1), IsGreen), 0);

    m_view.m_bShowSelAlways = true;
    m_view.selectionModel()->select(m_view.GetModel()->index(1, 0),
                                    QItemSelectionModel::ClearAndSelect |
                                        QItemSelectionModel::Rows);
    m_view.selectionModel()->select(m_view.GetModel()->index(1, 0),
                                    QItemSelectionModel::ClearAndSelect |
                                        QItemSelectionModel::Rows);
    shot = Shot();
    const QRgb highlight = m_view.palette().color(QPalette::Highlight).rgb();
    EXPECT_EQ(shot.pixel(Cell(1, 4).left() + 3, Cell(1, 4).top() + 2), highlight);
    EXPECT_GT(Count(shot, Cell(1, 3), IsRed), 10);
}

TEST_F(ListDrawingTest, GridIsLightGreyAndEmptyCellsGetOnlyTheirLines) {
    m_view.SetItemText(2, 5, QString());
    const QImage shot = Shot();
    const QRgb grid = CListViewEx::GRID_COLOUR;
    const QRect cell = Cell(0, 3);
    EXPECT_EQ(shot.pixel(cell.right(), cell.center().y()), grid);
    EXPECT_EQ(shot.pixel(cell.center().x(), cell.bottom()), grid);
    EXPECT_EQ(shot.pixel(cell.center().x(), cell.top()), grid);
    // Left of the label, beside the tick box.
    EXPECT_EQ(shot.pixel(m_view.GetIconLeft() - 3, cell.center().y()), grid);

    const QRect empty = Cell(2, 5);
    EXPECT_EQ(shot.pixel(empty.right(), empty.center().y()), grid);
    EXPECT_EQ(FirstInk(shot, empty.adjusted(0, 0, -1, 0), m_view.m_crTextBack.rgb()), -1);
}

TEST_F(ListDrawingTest, TooWideTextsEndInDotsAndAreLeftAligned) {
    const QRgb back = m_view.m_crTextBack.rgb();
    QImage shot = Shot();
    const QRect cell = Cell(0, 3);
    // A centred text that fits starts well inside the cell.
    EXPECT_GT(FirstInk(shot, cell, back), cell.left() + 20);

    m_view.SetItemText(0, 3, QStringLiteral("Testing - Unknown, and a great deal more text"));
    shot = Shot();
    const int nInk = FirstInk(shot, cell, back);
    EXPECT_GE(nInk, cell.left() + CListViewEx::CELL_MARGIN - 1); // anti-aliasing
    EXPECT_LE(nInk, cell.left() + CListViewEx::CELL_MARGIN + 2);

    const QFontMetrics metrics(m_view.font());
    const QString strLong = QStringLiteral("Testing - Unknown, and a great deal more text");
    const QString strFit = CListViewEx::FitText(metrics, strLong, 130, 12);
    ASSERT_TRUE(strFit.endsWith(QStringLiteral("...")));
    EXPECT_TRUE(strLong.startsWith(strFit.left(strFit.size() - 3)));
    EXPECT_LE(metrics.horizontalAdvance(strFit) + 12, 130);
    // One more character would not have fitted.
    const QString strLonger = strLong.left(strFit.size() - 2) + QStringLiteral("...");
    EXPECT_GT(metrics.horizontalAdvance(strLonger) + 12, 130);

    EXPECT_EQ(CListViewEx::FitText(metrics, QStringLiteral("Up"), 130, 12), "Up");
    EXPECT_EQ(CListViewEx::FitText(metrics, QString(), 0, 12), "");
    EXPECT_EQ(CListViewEx::FitText(metrics, QStringLiteral("Wide"), 3, 12), "W...");
}

TEST_F(ListDrawingTest, SelectionReachesTheRightEdgeButNotTheTickBox) {
    m_view.header()->resizeSection(1, 60);
    m_view.header()->resizeSection(2, 60);
    m_view.m_bShowSelAlways = true;
    m_view.selectionModel()->select(m_view.GetModel()->index(0, 0),
                                    QItemSelectionModel::ClearAndSelect |
                                        QItemSelectionModel::Rows);
    const QImage shot = Shot();
    const QRgb highlight = m_view.palette().color(QPalette::Highlight).rgb();
    const int nY = Cell(0, 1).center().y();
    ASSERT_LT(m_view.header()->length(), m_view.viewport()->width() - 10);
    EXPECT_EQ(shot.pixel(m_view.viewport()->width() - 2, nY), highlight);
    EXPECT_EQ(shot.pixel(1, nY), m_view.m_crTextBack.rgb());
    EXPECT_EQ(shot.pixel(m_view.viewport()->width() - 2, Cell(1, 1).center().y()),
              m_view.m_crTextBack.rgb());

    // Without the focus and without "show selection always" the row looks unselected.
    m_view.m_bShowSelAlways = false;
    m_view.clearFocus();
    const QImage plain = Shot();
    EXPECT_EQ(plain.pixel(m_view.viewport()->width() - 2, nY), m_view.m_crTextBack.rgb());
}

TEST_F(ListDrawingTest, TickedRowShowsTheTickedBox) {
    const QRect cell = Cell(0, 1);
    const QImage before = Shot().copy(0, cell.top(), 26, cell.height());
    m_view.ToggleCheck(0);
    const QImage after = Shot().copy(0, cell.top(), 26, cell.height());
    EXPECT_NE(before, after);
    int nGreen = 0;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            nGreen += IsGreen(after.pixel(x, y)) ? 1 : 0;
    EXPECT_GT(nGreen, 3);
}

} // namespace
