#include "widgets/list_view_ex.h"

#include "core/host.h"
#include "widgets/artwork.h"
#include "widgets/contrast.h"

#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStandardItemModel>

#include <algorithm>

namespace {

const QString kEllipsis = QStringLiteral("...");
const QString kUpText = QString::fromLatin1(STATUS_TESTING_UP);
const QString kDownText = QString::fromLatin1(STATUS_TESTING_DOWN);

} // namespace

CListViewEx::CListViewEx(QWidget* pParent)
    : QTreeView(pParent), m_pModel(new QStandardItemModel(this)) {
    setModel(m_pModel);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setIndentation(0);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(0);
    m_crTextBack = palette().color(QPalette::Base);
}

void CListViewEx::SetStateImages(const QImage& strip, int nWidth) {
    m_imlState = CArtwork::MaskMagenta(strip);
    m_nStateWidth = nWidth;
    viewport()->update();
}

int CListViewEx::GetStateImage(int nRow) const {
    return m_pModel->index(nRow, 0).data(STATE_ROLE).toInt();
}

void CListViewEx::SetStateImage(int nRow, int nImage) {
    m_pModel->setData(m_pModel->index(nRow, 0), nImage, STATE_ROLE);
}

QString CListViewEx::GetItemText(int nRow, int nColumn) const {
    return m_pModel->index(nRow, nColumn).data(Qt::DisplayRole).toString();
}

void CListViewEx::SetItemText(int nRow, int nColumn, const QString& strText) {
    m_pModel->setData(m_pModel->index(nRow, nColumn), strText, Qt::DisplayRole);
}

int CListViewEx::GetSelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int CListViewEx::GetRowHeight() const {
    return std::max(fontMetrics().height() + 4, m_imlState.height() + 2);
}

int CListViewEx::GetIconLeft() const {
    return header()->sectionViewportPosition(0) + m_nStateWidth;
}

QString CListViewEx::FitText(const QFontMetrics& metrics, const QString& strText, int nWidth,
                             int nMargin) {
    if (strText.isEmpty() || metrics.horizontalAdvance(strText) + nMargin <= nWidth)
        return strText;
    const int nEllipsis = metrics.horizontalAdvance(kEllipsis);
    for (qsizetype n = strText.size() - 1; n >= 1; --n) {
        const QString strPrefix = strText.left(n);
        if (metrics.horizontalAdvance(strPrefix) + nMargin + nEllipsis <= nWidth)
            return strPrefix + kEllipsis;
    }
    return strText.left(1) + kEllipsis;
}

void CListViewEx::drawRow(QPainter* pPainter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    const int nRow = index.row();
    const QHeaderView* pHeader = header();
    const int nLeft = pHeader->sectionViewportPosition(0);
    const int nTop = option.rect.top();
    const int nHeight = option.rect.height();
    const int nLabelLeft = nLeft + m_nStateWidth;

    QRect area(nLabelLeft - 2, nTop, nLeft + pHeader->length() - (nLabelLeft - 2), nHeight);
    if (m_bToClientEdge && area.right() < m_nClientWidth - 1)
        area.setRight(m_nClientWidth - 1);

    const bool bSelected =
        selectionModel()->isRowSelected(nRow, rootIndex()) && (hasFocus() || m_bShowSelAlways);
    QColor crText = palette().color(QPalette::Text);
    if (bSelected) {
        crText = palette().color(QPalette::HighlightedText);
        pPainter->fillRect(area, palette().color(QPalette::Highlight));
    } else {
        pPainter->fillRect(area, m_crTextBack);
    }

    const int nState = GetStateImage(nRow);
    if (nState > 0 && m_nStateWidth > 0) {
        const int nImageTop = nTop + (nHeight - m_imlState.height()) / 2;
        pPainter->drawImage(
            QPoint(nLeft, nImageTop), m_imlState,
            QRect((nState - 1) * m_nStateWidth, 0, m_nStateWidth, m_imlState.height()));
    }

    const QPen gridPen(QColor::fromRgb(GRID_COLOUR), 1);
    const QFontMetrics metrics(font());

    // Column 0: the label beside the tick box.
    const QRect label(nLabelLeft, nTop,
                      nLeft + pHeader->sectionSize(0) - m_nStateShift - nLabelLeft, nHeight);
    pPainter->setPen(gridPen);
    pPainter->drawLine(nLabelLeft - 3, nTop, nLabelLeft - 3, nTop + nHeight - 1);
    const QString strLabel = FitText(metrics, GetItemText(nRow, 0), label.width(), 0);
    if (!strLabel.isEmpty()) {
        pPainter->setPen(crText);
        pPainter->drawText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, strLabel);
    }

    int nRight = nLeft + pHeader->sectionSize(0);
    for (int nColumn = 1; nColumn < m_pModel->columnCount(); ++nColumn) {
        const QRect cell(nRight, nTop, pHeader->sectionSize(nColumn), nHeight);
        nRight += cell.width();
        pPainter->setPen(gridPen);
        pPainter->drawLine(cell.right(), nTop, cell.right(), nTop + nHeight - 1);
        const QString strText = GetItemText(nRow, nColumn);
        if (strText.isEmpty())
            continue;
        // The status colours, darkened or lightened where the row's background needs it.
        QColor crCell = crText;
        const QColor crBack = bSelected ? palette().color(QPalette::Highlight) : m_crTextBack;
        if (strText == kUpText)
            crCell = CContrast::Readable(QColor::fromRgb(UP_COLOUR), crBack);
        else if (strText == kDownText)
            crCell = CContrast::Readable(QColor::fromRgb(DOWN_COLOUR), crBack);
        const QString strFit = FitText(metrics, strText, cell.width(), 2 * CELL_MARGIN);
        Qt::Alignment align = Qt::AlignLeft;
        if (strFit == strText)
            align =
                Qt::Alignment(
                    m_pModel->headerData(nColumn, Qt::Horizontal, Qt::TextAlignmentRole).toInt()) &
                Qt::AlignHorizontal_Mask;
        pPainter->setPen(crCell);
        pPainter->drawText(cell.adjusted(CELL_MARGIN, 0, -CELL_MARGIN, 0),
                           align | Qt::AlignVCenter | Qt::TextSingleLine, strFit);
    }

    if (hasFocus() && currentIndex().row() == nRow) {
        pPainter->setPen(QPen(crText, 1, Qt::DotLine));
        pPainter->drawRect(area.adjusted(0, 0, -1, -1));
    }

    pPainter->setPen(gridPen);
    pPainter->drawLine(0, area.top(), area.right(), area.top());
    pPainter->drawLine(0, area.bottom(), area.right(), area.bottom());
}

void CListViewEx::changeEvent(QEvent* pEvent) {
    if (pEvent->type() == QEvent::PaletteChange)
        m_crTextBack = palette().color(QPalette::Base);
    QTreeView::changeEvent(pEvent);
}

bool CListViewEx::viewportEvent(QEvent* pEvent) {
    if (pEvent->type() == QEvent::Resize) {
        m_nClientWidth = viewport()->width();
        OnClientResize(m_nClientWidth);
    }
    return QTreeView::viewportEvent(pEvent);
}

void CListViewEx::focusInEvent(QFocusEvent* pEvent) {
    QTreeView::focusInEvent(pEvent);
    if (m_bWholeRow)
        InvalidateSelection();
}

void CListViewEx::focusOutEvent(QFocusEvent* pEvent) {
    QTreeView::focusOutEvent(pEvent);
    if (m_bWholeRow)
        InvalidateSelection();
}

void CListViewEx::InvalidateSelection() {
    // Whole rows, to the client edge: the selection colour depends on the focus.
    auto updateRow = [this](int nRow) {
        const QRect rect = visualRect(m_pModel->index(nRow, 0));
        viewport()->update(QRect(0, rect.top(), viewport()->width(), rect.height()));
    };
    if (currentIndex().isValid())
        updateRow(currentIndex().row());
    if (!m_bShowSelAlways)
        for (const QModelIndex& row : selectionModel()->selectedRows())
            updateRow(row.row());
}

void CListViewEx::selectionChanged(const QItemSelection& selected,
                                   const QItemSelection& deselected) {
    QTreeView::selectionChanged(selected, deselected);
    // The highlight reaches past the last column, where the base class does not repaint.
    for (const QItemSelection* pSelection : {&selected, &deselected})
        for (const QModelIndex& index : pSelection->indexes()) {
            const QRect rect = visualRect(index);
            viewport()->update(QRect(0, rect.top(), viewport()->width(), rect.height()));
        }
}

int CListViewEx::RowAt(const QPoint& pos) const {
    const QModelIndex index = indexAt(pos);
    return index.isValid() ? index.row() : -1;
}

void CListViewEx::mousePressEvent(QMouseEvent* pEvent) {
    const QPoint pos = pEvent->position().toPoint();
    const int nRow = RowAt(pos);
    if (pEvent->button() == Qt::LeftButton && nRow >= 0 && pos.x() < GetIconLeft()) {
        // On the tick box: toggled, and the selection stays as it is.
        OnToggleRow(nRow);
        pEvent->accept();
        return;
    }
    QTreeView::mousePressEvent(pEvent);
}

void CListViewEx::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    const QPoint pos = pEvent->position().toPoint();
    const int nRow = RowAt(pos);
    if (pEvent->button() == Qt::LeftButton && nRow >= 0) {
        // On the tick box the first click has already toggled it; nothing more happens.
        if (pos.x() >= GetIconLeft())
            OnDoubleClickRow(nRow);
        pEvent->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(pEvent);
}

void CListViewEx::keyPressEvent(QKeyEvent* pEvent) {
    if (pEvent->key() == Qt::Key_Space) {
        const int nRow = GetSelectedRow();
        if (nRow >= 0)
            OnToggleRow(nRow);
        pEvent->accept();
        return;
    }
    QTreeView::keyPressEvent(pEvent);
}

void CListViewEx::OnClientResize(int) {}

void CListViewEx::OnToggleRow(int) {}

void CListViewEx::OnDoubleClickRow(int) {}
