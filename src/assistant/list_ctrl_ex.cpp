#include "assistant/list_ctrl_ex.h"

#include "widgets/artwork.h"

#include <QHeaderView>
#include <QStandardItemModel>

namespace {

// The one column leaves the room of a vertical scroll bar free at the right.
constexpr int RIGHT_SPACE = 20;

} // namespace

CListCtrlEx::CListCtrlEx(QWidget* pParent) : CListViewEx(pParent) {
    m_bToClientEdge = false;
    setHeaderHidden(true);
    GetModel()->setColumnCount(1);
    SetStateImages(CArtwork::CheckBoxStrip(), CArtwork::CHECK_WIDTH);
}

void CListCtrlEx::AddRow(const QString& strText) {
    auto* pItem = new QStandardItem(strText);
    pItem->setData(IMAGE_EMPTY, STATE_ROLE);
    // As tall as the host list's rows: the tick box and the letters' descenders fit.
    pItem->setSizeHint(QSize(CArtwork::CHECK_WIDTH, GetRowHeight()));
    GetModel()->appendRow(pItem);
}

void CListCtrlEx::AttachChecks(std::vector<uint32_t>* pChecks) {
    m_pChecks = pChecks;
    const int nRows = GetModel()->rowCount();
    for (size_t i = 0; i < pChecks->size() && i < static_cast<size_t>(nRows); ++i)
        if ((*pChecks)[i] != 0)
            SetStateImage(static_cast<int>(i), IMAGE_TICKED);
}

void CListCtrlEx::ToggleCheck(int nRow) {
    if (!m_pChecks || nRow < 0 || static_cast<size_t>(nRow) >= m_pChecks->size())
        return;
    uint32_t& nFlag = (*m_pChecks)[static_cast<size_t>(nRow)];
    if (nFlag != 0) {
        SetStateImage(nRow, IMAGE_EMPTY);
        nFlag = 0;
    } else {
        SetStateImage(nRow, IMAGE_TICKED);
        nFlag = 1;
    }
}

void CListCtrlEx::OnClientResize(int nWidth) {
    setColumnWidth(0, nWidth - RIGHT_SPACE);
}
