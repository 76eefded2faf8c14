#pragma once

#include "core/history_store.h"
#include "core/test_record.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CSettingsStore;
class CTimeChart;
class CVantrelDoc;
class CWaitObserver;
class QComboBox;
class QLabel;
class QTableWidget;

// One host's recorded tests: ping and web response time on a real time axis over the last
// 24 hours, 7 days, 30 days or all of the history, the periods it was down shaded; its
// outages; uptime, tests, loss and median response over each range; its certificate's expiry;
// and the range's tests exported as CSV. Resizable; remembers its size.
class CHistoryDlg : public QDialog {
    Q_OBJECT

public:
    enum ERange { RANGE_DAY, RANGE_WEEK, RANGE_MONTH, RANGE_ALL, RANGE_COUNT };
    // Columns the chart's range is read into: about one per pixel.
    static constexpr int COLUMNS = 1000;
    // The outage table shows at most this many, newest first.
    static constexpr int MAX_OUTAGE_ROWS = 1000;
    // The figure rows.
    enum EFigure { FIGURE_UPTIME, FIGURE_TESTS, FIGURE_LOSS, FIGURE_RESPONSE, FIGURE_COUNT };

    explicit CHistoryDlg(QWidget* pParent = nullptr);
    ~CHistoryDlg() override;

    // The command for the list's first chosen row (-1: none): a message, or the window shown
    // modally until it is closed.
    static void ShowForHost(QWidget* pParent, CVantrelDoc& doc, int nSelectedRow,
                            CWaitObserver* pWaitObserver);
    // The command up to showing the window: null after a message.
    static std::unique_ptr<CHistoryDlg> Prepare(QWidget* pParent, CVantrelDoc& doc,
                                                int nSelectedRow, CWaitObserver* pWaitObserver);

    // Where the window's size is kept (null: nowhere, the default).
    static void SetPlacementStore(CSettingsStore* pStore);
    // Where the messages go: an OK box by default; an empty function restores it.
    using MessageFn = std::function<void(QWidget* pOwner, const std::string& strText)>;
    static void SetMessageFunction(MessageFn fnMessage);

    // Reads host nHostId's history from the database at strPath as it stands at tNow. False
    // (after a message) when the database cannot be read.
    bool Open(const std::string& strPath, int64_t nHostId, const std::string& strName,
              const std::string& strTestURL, int64_t tNow);
    // Shows one of the ranges.
    void SetRange(int nRange);
    int GetRange() const { return m_nRange; }
    int64_t RangeStart(int nRange) const;

    // What the window shows, for the tests.
    std::string GetFigure(int nFigure, int nRange) const;
    std::string GetCertificateText() const;
    std::string GetOutageSummary() const;
    // Rows of the outage table, cells joined by " | ".
    std::vector<std::string> GetOutageRows() const;
    CTimeChart& GetChart() { return *m_pChart; }

    // "Export CSV...": asks for a file and writes the range's tests to it.
    void OnExportCsv();
    // Writes the range's tests to strPath; a message says why when that fails.
    bool ExportCsv(const std::string& strPath);

protected:
    void done(int nResult) override;

private:
    static void ShowMessage(QWidget* pOwner, const std::string& strText);
    void FillFigures();
    void FillChart();
    void FillOutages();

    CHistoryStore m_store;
    int64_t m_nHostId = 0;
    int64_t m_tNow = 0;
    int m_nRange = RANGE_DAY;
    std::string m_strName;
    CHistoryStore::CSummary m_all;

    CTimeChart* m_pChart;
    QComboBox* m_pRange;
    std::array<std::array<QLabel*, RANGE_COUNT>, FIGURE_COUNT> m_arrFigures{};
    QLabel* m_pCertificate;
    QLabel* m_pOutageSummary;
    QTableWidget* m_pOutages;
};
