#pragma once

#include <QColor>
#include <QImage>
#include <QTreeView>

class QStandardItemModel;

// A report list that draws its rows itself: the selection covers the whole row up to the
// window's right edge, a light grey grid separates rows and columns, the row's tick box (its
// state image) sits at the row's left edge, texts that do not fit end in "...", and the
// status texts "Testing - Up" and "Testing - Down" are drawn green and red.
class CListViewEx : public QTreeView {
    Q_OBJECT
public:
    static constexpr QRgb GRID_COLOUR = 0xFFD9D9D9;
    static constexpr QRgb UP_COLOUR = 0xFF48BE67;
    static constexpr QRgb DOWN_COLOUR = 0xFFE45D76;
    static constexpr int CELL_MARGIN = 6;
    static constexpr int STATE_ROLE = Qt::UserRole + 1;

    explicit CListViewEx(QWidget* pParent = nullptr);

    // Images side by side, nWidth pixels each; magenta is transparent. A row with state
    // image n (above 0) shows image n - 1.
    void SetStateImages(const QImage& strip, int nWidth);
    int GetStateImage(int nRow) const;
    void SetStateImage(int nRow, int nImage);

    QStandardItemModel* GetModel() const { return m_pModel; }
    QString GetItemText(int nRow, int nColumn) const;
    void SetItemText(int nRow, int nColumn, const QString& strText);
    // The one selected row, or -1.
    int GetSelectedRow() const;

    // Room for a line of text and for the tick box, whichever is taller.
    int GetRowHeight() const;
    // Where the tick box ends and the row's label begins, in viewport co-ordinates.
    int GetIconLeft() const;

    // Text shortened to fit nWidth with nMargin to spare: the longest prefix of at least one
    // character followed by "...".
    static QString FitText(const QFontMetrics& metrics, const QString& strText, int nWidth,
                           int nMargin);

    bool m_bWholeRow = true;
    bool m_bToClientEdge = true;
    int m_nClientWidth = 0;
    int m_nStateShift = 0;
    QColor m_crTextBack;
    // The list shows its selection also while it does not have the focus.
    bool m_bShowSelAlways = false;

protected:
    void drawRow(QPainter* pPainter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    bool viewportEvent(QEvent* pEvent) override;
    // A new palette (a dark scheme chosen while the program runs) brings its row background.
    void changeEvent(QEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

    // The client width changed (m_nClientWidth already holds it).
    virtual void OnClientResize(int nWidth);
    // A click on row nRow's tick box, or Space on the selected row.
    virtual void OnToggleRow(int nRow);
    // A double-click on row nRow right of its tick box.
    virtual void OnDoubleClickRow(int nRow);

private:
    int RowAt(const QPoint& pos) const;
    void InvalidateSelection();

    QStandardItemModel* m_pModel;
    QImage m_imlState;
    int m_nStateWidth = 0;
};
