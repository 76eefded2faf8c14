#pragma once

#include "report/report_scorer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CSettingsStore;
class CVantrelDoc;
class CWaitObserver;
class QWidget;

// The desktop program's Generate report command: takes the chosen hosts, asks for the weights
// and the file, scores, writes the report and opens it with the desktop's default program.
// The dialogs, the opener and the message box are virtual so that tests can stand in for them.
class CReportCommandUI {
public:
    // pWait: the wait dialog shown while a host's figures are locked by a test in progress.
    CReportCommandUI(QWidget* pParent, CVantrelDoc& doc, CWaitObserver* pWait = nullptr);
    virtual ~CReportCommandUI() = default;

    // The list view's command on the rows of doc.m_arrHosts it chose. Returns the path of the
    // written report, empty when nothing was written (the view then keeps its ticks).
    static std::string Run(QWidget* pParent, CVantrelDoc& doc, const std::vector<int>& arrRows,
                           CWaitObserver* pWait);

    // The command's steps. Returns the path of the written report, empty when nothing was
    // written.
    std::string Execute(const std::vector<int>& arrRows);

    // Where the weights of the last report are kept (null: nowhere, the default).
    static void SetSettingsStore(CSettingsStore* pStore);
    // The stored form of the weights, and back; false (arrWeights unchanged) unless the text
    // holds nine whole numbers from 1 to 10 separated by commas.
    static std::string WeightsText(const CReportWeights& arrWeights);
    static bool ParseWeights(const std::string& strText, CReportWeights& arrWeights);

    // The weighting dialog, opened with the last report's weights and history tick; false on
    // Cancel. Also sets m_bIncludeChart and m_bIncludeHistory.
    virtual bool AskWeights(CReportWeights& arrWeights);
    // The save dialog; false on Cancel.
    virtual bool AskFileName(std::string& strPath);
    // Shows the report with the desktop's default program; fnFailed runs, at once or later,
    // when nothing opened it.
    virtual void OpenFile(const std::string& strPath, const std::function<void()>& fnFailed);
    virtual void ShowMessage(const std::string& strText);

    static const char* const NO_HOSTS;
    static const char* const FILE_FILTER;
    static const char* const PROPOSED_NAME;
    static const char* const EXTENSION;
    // The message when the written report could not be opened; the path goes after it.
    static const char* const NOT_OPENED;

    // The comparison chart of the reported hosts goes after the score table.
    bool m_bIncludeChart = false;
    // The measured history of the reported hosts: the test period and a table of figures.
    bool m_bIncludeHistory = false;

protected:
    QWidget* m_pParent;
    CVantrelDoc& m_doc;
    CWaitObserver* m_pWait;
};
