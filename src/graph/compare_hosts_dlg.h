#pragma once

#include "graph/host_comparison.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CSettingsStore;
class CVantrelDoc;
class CWaitObserver;
class QPushButton;

// "Compare Hosts": the ticked hosts, or every host when none is ticked, side by side in the
// three views of CComparisonChart. Works on a snapshot taken when the command starts. The
// window is resizable and remembers its size.
class CCompareHostsDlg : public QDialog {
    Q_OBJECT

public:
    static const char* const NO_HOSTS;
    static const char* const FILE_FILTER;

    explicit CCompareHostsDlg(QWidget* pParent = nullptr);
    ~CCompareHostsDlg() override;

    // The command: a message when the list is empty, else the window shown modally. The ticks
    // stay as they are.
    static void ShowForHosts(QWidget* pParent, CVantrelDoc& doc, const std::vector<int>& arrMarked,
                             CWaitObserver* pWaitObserver);
    // The command up to showing the window: null after a message.
    static std::unique_ptr<CCompareHostsDlg> Prepare(QWidget* pParent, CVantrelDoc& doc,
                                                     const std::vector<int>& arrMarked,
                                                     CWaitObserver* pWaitObserver);

    // Where the window's size is kept (null: nowhere, the default).
    static void SetPlacementStore(CSettingsStore* pStore);

    // Where the command's messages go: an OK box by default; an empty function restores it.
    using MessageFn = std::function<void(QWidget* pOwner, const std::string& strText)>;
    static void SetMessageFunction(MessageFn fnMessage);

    const CHostComparison& GetComparison() const { return m_comparison; }
    CHostComparison& GetComparison() { return m_comparison; }
    // The charts as the window shows them.
    QWidget* GetChartWidget() const { return m_pChart; }

    // "Save Image...": asks for a PNG or SVG file and writes the charts at the window's size.
    void OnSaveImage();
    // Writes the charts to strPath; a message box says why when that fails.
    bool SaveImage(const QString& strPath);

protected:
    void done(int nResult) override;

private:
    static void ShowMessage(QWidget* pOwner, const std::string& strText);

    CHostComparison m_comparison;
    QWidget* m_pChart;
    QPushButton* m_pSave;
};
