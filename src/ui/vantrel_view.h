#pragma once

#include "testing/row_update_sink.h"
#include "widgets/list_view_ex.h"

#include <QEvent>
#include <QTimer>

#include <set>
#include <vector>

class CHost;
class CVantrelDoc;
class CWaitObserver;

// The host list: one row per host of the store, in list order, with a tick box in the first
// column. It carries out the host commands of the menu and the toolbar and redraws a host's
// row when the test worker reports that the host changed.
class CVantrelView : public CListViewEx, public CRowUpdateSink {
    Q_OBJECT
public:
    static constexpr int WM_HOSTUPDATED = QEvent::User + 100;
    // A row whose host is being tested is redrawn this much later instead of waiting.
    static constexpr int RETRY_MS = 50;
    static constexpr int COLUMN_COUNT = 8;

    explicit CVantrelView(QWidget* pParent = nullptr);

    // The wait dialog for host locks and the worker (may be null: plain waits).
    void SetWaitObserver(CWaitObserver* pWait) { m_pWait = pWait; }
    // First display: the columns and a row for every host of the store.
    void OnInitialUpdate(CVantrelDoc& doc);
    CVantrelDoc* GetDocument() const { return m_pDoc; }

    // Appends a row with an empty tick box; the caller appends the matching m_arrMarked flag.
    void AddHostRow(const CHost& host);
    // Writes columns 1 to 7 and the status tooltip from the host. The caller holds the host's
    // lock.
    void UpdateHostRow(int nRow, const CHost& host);
    void ToggleCheck(int nRow);

    // Any thread: posts WM_HOSTUPDATED for row nIndex.
    void PostHostUpdated(int nIndex) override;

    // One tick flag per row: 1 ticked, 0 not.
    std::vector<int> m_arrMarked;

    // Said when a command that acts on hosts finds none ticked and none selected.
    static const char* const NO_HOST_CHOSEN;
    // The Remove question; the host's name follows on a line of its own.
    static const char* const REMOVE_QUESTION;

    // Whether any host's row says "Testing - Down".
    bool IsAnyHostDown() const { return m_bAnyDown; }

signals:
    // A short note for the status bar.
    void CommandMessage(const QString& strText);
    // IsAnyHostDown() changed.
    void AnyHostDownChanged(bool bDown);

public slots:
    void OnAddHost();
    void OnEditHost();
    void OnRemoveHost();
    void OnStartTests();
    void OnStopTests();
    void OnBuildGraph();
    void OnHistory();
    void OnCompareHosts();
    void OnGenerateReport();
    void OnOptions();
    void OnTutorial();

signals:
    // Options were confirmed: the settings are to be written now.
    void SettingsChanged();

protected:
    void customEvent(QEvent* pEvent) override;
    void OnClientResize(int nWidth) override;
    void OnToggleRow(int nRow) override;
    void OnDoubleClickRow(int nRow) override;

private:
    // Redraws the row when its host's lock is free at once; otherwise retries later.
    void RefreshRow(int nIndex);
    void RetryPendingRows();
    // A start or stop command changed the host (its lock is held): redraw, clear the tick.
    void AfterTestsChanged(int nIndex);
    // A fixed column's width: its usual width, or wider where the font needs it.
    int GetFittingWidth(int nColumn) const;
    // The fixed columns' widths as they stand (the user may have widened them).
    int GetFixedWidth() const;
    // The hosts a command acts on: the ticked rows, or the selected one when none is ticked.
    // Empty after telling the user that there is none.
    std::vector<int> ChosenRows();
    void CheckAnyHostDown();

    CVantrelDoc* m_pDoc = nullptr;
    CWaitObserver* m_pWait = nullptr;
    std::set<int> m_setPending;
    bool m_bAnyDown = false;
    QTimer m_timerRetry;
};
