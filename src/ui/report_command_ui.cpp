#include "ui/report_command_ui.h"

#include "core/history_store.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "graph/comparison_chart.h"
#include "report/report_history.h"
#include "report/report_writer.h"
#include "report/weighting_dialog.h"
#include "widgets/desktop_opener.h"
#include "widgets/message_box.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <ctime>

namespace {

CSettingsStore*& SettingsStore() {
    static CSettingsStore* s_pStore = nullptr;
    return s_pStore;
}

} // namespace

const char* const CReportCommandUI::NO_HOSTS =
    "Please mark at least one host to generate report for.";
const char* const CReportCommandUI::FILE_FILTER = "HTML Files (*.html);;All Files (*)";
const char* const CReportCommandUI::PROPOSED_NAME = "HostsReport";
const char* const CReportCommandUI::EXTENSION = "html";
const char* const CReportCommandUI::NOT_OPENED =
    "The report was written, but no program could be found to open it.\nOpen it in a web "
    "browser yourself:\n";

CReportCommandUI::CReportCommandUI(QWidget* pParent, CVantrelDoc& doc, CWaitObserver* pWait)
    : m_pParent(pParent), m_doc(doc), m_pWait(pWait) {}

std::string CReportCommandUI::Run(QWidget* pParent, CVantrelDoc& doc,
                                  const std::vector<int>& arrRows, CWaitObserver* pWait) {
    CReportCommandUI command(pParent, doc, pWait);
    return command.Execute(arrRows);
}

void CReportCommandUI::SetSettingsStore(CSettingsStore* pStore) {
    SettingsStore() = pStore;
}

std::string CReportCommandUI::WeightsText(const CReportWeights& arrWeights) {
    QStringList parts;
    for (int nWeight : arrWeights)
        parts << QString::number(nWeight);
    return parts.join(',').toStdString();
}

bool CReportCommandUI::ParseWeights(const std::string& strText, CReportWeights& arrWeights) {
    const QStringList parts = QString::fromStdString(strText).split(',');
    if (parts.size() != ATTRIBUTE_COUNT)
        return false;
    CReportWeights arrRead{};
    for (int a = 0; a < ATTRIBUTE_COUNT; ++a) {
        bool bOk = false;
        arrRead[a] = parts[a].toInt(&bOk);
        if (!bOk || arrRead[a] < 1 || arrRead[a] > 10)
            return false;
    }
    arrWeights = arrRead;
    return true;
}

std::string CReportCommandUI::Execute(const std::vector<int>& arrRows) {
    std::vector<int> arrSet;
    for (int nRow : arrRows)
        if (nRow >= 0 && static_cast<size_t>(nRow) < m_doc.m_arrHosts.size())
            arrSet.push_back(nRow);
    if (arrSet.empty()) {
        ShowMessage(NO_HOSTS);
        return {};
    }
    CReportWeights arrWeights{};
    if (!AskWeights(arrWeights))
        return {};
    std::string strPath;
    if (!AskFileName(strPath))
        return {};

    // The scorer reads each host's figures under its lock; a test in progress holds it, so
    // it waits behind the wait dialog, which serves the worker's message boxes meanwhile.
    CReportScorer scorer;
    scorer.Score(m_doc.m_arrHosts, arrSet, arrWeights, m_pWait);
    std::string strChart;
    if (m_bIncludeChart) {
        CHostComparison comparison;
        // The chart lists the hosts in the table's order.
        comparison.TakeSnapshot(m_doc, scorer.GetRowsInOrder(), m_pWait);
        const CComparisonChart chart(comparison);
        strChart = chart.InlineSvg(chart.PreferredSize());
    }
    std::vector<CReportHistory> arrHistory;
    if (m_bIncludeHistory) {
        // A reader of its own: the worker writes through the document's.
        CHistoryStore history;
        if (history.OpenExisting(m_doc.GetHistoryPath()) != CHistoryStore::EOpen::OK) {
            ShowMessage("The measured history could not be read, so the report leaves it "
                        "out.\n" +
                        history.GetLastError() + ".");
        } else {
            const int64_t tNow = ::time(nullptr);
            arrHistory.resize(m_doc.m_arrHosts.size());
            for (int nRow : arrSet)
                arrHistory[static_cast<size_t>(nRow)] = CReportHistory::Measure(
                    history, m_doc.m_arrHosts[static_cast<size_t>(nRow)]->m_nHistoryId, tNow);
        }
    }
    std::string strError;
    if (!CReportWriter::WriteReport(strPath, m_doc.m_arrHosts, scorer, strError, strChart,
                                    arrHistory.empty() ? nullptr : &arrHistory)) {
        ShowMessage("The report could not be written.\n" + strError + ".");
        return {};
    }
    // Without a browser the user would otherwise never learn where the report went. The
    // verdict may come after this command has ended.
    const QString strText = QString::fromLatin1(NOT_OPENED) + QString::fromLocal8Bit(strPath);
    OpenFile(strPath, [pParent = QPointer<QWidget>(m_pParent), strText] {
        CMessageBox::Information(pParent, strText);
    });
    return strPath;
}

bool CReportCommandUI::AskWeights(CReportWeights& arrWeights) {
    CWeightingDialog dlg(m_pParent);
    CSettingsStore* pStore = SettingsStore();
    CReportWeights arrLast{};
    if (pStore && ParseWeights(pStore->LoadReportWeights(), arrLast))
        dlg.SetWeights(arrLast);
    if (pStore)
        dlg.m_pHistory->setChecked(pStore->LoadReportHistory());
    if (dlg.exec() != QDialog::Accepted)
        return false;
    arrWeights = dlg.GetWeights();
    if (pStore) {
        pStore->SaveReportWeights(WeightsText(arrWeights));
        pStore->SaveReportHistory(dlg.m_bIncludeHistory);
    }
    m_bIncludeChart = dlg.m_bIncludeChart;
    m_bIncludeHistory = dlg.m_bIncludeHistory;
    return true;
}

bool CReportCommandUI::AskFileName(std::string& strPath) {
    QFileDialog dlg(m_pParent);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setNameFilter(QString::fromLatin1(FILE_FILTER));
    dlg.setDefaultSuffix(QString::fromLatin1(EXTENSION));
    dlg.selectFile(QString::fromLatin1(PROPOSED_NAME));
    // Replacing an existing file is confirmed by the dialog itself.
    dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return false;
    strPath = QFileInfo(dlg.selectedFiles().first()).absoluteFilePath().toLocal8Bit().toStdString();
    return true;
}

void CReportCommandUI::OpenFile(const std::string& strPath, const std::function<void()>& fnFailed) {
    CDesktopOpener::Open(QUrl::fromLocalFile(QString::fromLocal8Bit(strPath)), fnFailed);
}

void CReportCommandUI::ShowMessage(const std::string& strText) {
    CMessageBox::Information(m_pParent, QString::fromLatin1(strText.c_str()));
}
