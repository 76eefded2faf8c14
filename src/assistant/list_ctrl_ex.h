#pragma once

#include "widgets/list_view_ex.h"

#include <cstdint>
#include <vector>

// The features list of the assistant's last page: rows drawn like the host list, each with a
// tick box whose flag lives in an array that the page owns. A click on the box or Space on
// the selected row toggles it.
class CListCtrlEx : public CListViewEx {
    Q_OBJECT
public:
    explicit CListCtrlEx(QWidget* pParent = nullptr);

    // Appends a row with an empty tick box.
    void AddRow(const QString& strText);
    // Ticks every row whose flag is not 0; later toggles edit the flags.
    void AttachChecks(std::vector<uint32_t>* pChecks);
    // A ticked row loses its tick and its flag becomes 0; any other row gets both.
    void ToggleCheck(int nRow);

    std::vector<uint32_t>* m_pChecks = nullptr;

    static constexpr int IMAGE_EMPTY = 1;
    static constexpr int IMAGE_TICKED = 2;

protected:
    void OnToggleRow(int nRow) override { ToggleCheck(nRow); }
    void OnClientResize(int nWidth) override;
};
