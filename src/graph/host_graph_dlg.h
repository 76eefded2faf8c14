#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CChartCtrl;
class CHost;
class CStyledLabel;
class CVantrelDoc;
class CWaitObserver;

// "Testing Graph": one host's average uptime and ping and an area chart of its latest ping
// times, oldest on the left. Works on a snapshot taken when the command starts; later test
// cycles do not change it.
class CHostGraphDlg : public QDialog {
    Q_OBJECT

public:
    // At most this many of the newest history entries are plotted.
    static constexpr int MAX_POINTS = 288;
    // Fewer successful pings than this make no graph.
    static constexpr int MIN_POINTS = 12;

    explicit CHostGraphDlg(QWidget* pParent = nullptr);
    ~CHostGraphDlg() override;

    // The Build graph command for the list's first selected row (-1: none): a message, or
    // the dialog shown modally until OK. pWaitObserver is told when the host's lock has to
    // be waited for.
    static void ShowForHost(QWidget* pParent, CVantrelDoc& doc, int nSelectedRow,
                            CWaitObserver* pWaitObserver);
    // The command up to showing the dialog: null after a message, else the filled dialog.
    static std::unique_ptr<CHostGraphDlg> Prepare(QWidget* pParent, CVantrelDoc& doc,
                                                  int nSelectedRow, CWaitObserver* pWaitObserver);

    // Where the command's messages go: an OK box by default. Tests catch them here; an
    // empty function restores the box.
    using MessageFn = std::function<void(QWidget* pOwner, const std::string& strText)>;
    static void SetMessageFunction(MessageFn fnMessage);

    // Copies the host's figures and history under its lock; waits for the test worker with
    // pWaitObserver when it holds the lock.
    void TakeSnapshot(CHost& host, CWaitObserver* pWaitObserver);
    // Fills the value labels and the chart from the snapshot.
    void OnInitDialog();

    CChartCtrl& GetChart() { return *m_pChart; }
    std::string GetAvgPingText() const { return m_strAvgPing; }
    const std::vector<uint32_t>& GetHistory() const { return m_arrHistory; }

private:
    static void ShowMessage(QWidget* pOwner, const std::string& strText);

    std::string m_strTestURL;
    std::string m_strName;
    std::vector<uint32_t> m_arrHistory;
    CChartCtrl* m_pChart;
    std::string m_strAvgPing;
    std::string m_strAvgUptime;

    CStyledLabel* m_pTitle;
    CStyledLabel* m_pUptimeValue;
    CStyledLabel* m_pPingValue;
};
