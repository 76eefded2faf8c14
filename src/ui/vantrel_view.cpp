#include "ui/vantrel_view.h"

#include "assistant/host_assistant.h"
#include "core/host.h"
#include "core/vantrel_doc.h"
#include "graph/compare_hosts_dlg.h"
#include "graph/history_dlg.h"
#include "graph/history_text.h"
#include "graph/host_graph_dlg.h"
#include "testing/test_commands.h"
#include "testing/waiter.h"
#include "ui/options_dlg.h"
#include "ui/report_command_ui.h"
#include "ui/tutorial_command.h"
#include "widgets/artwork.h"
#include "widgets/message_box.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTextDocument>

#include <memory>
#include <mutex>

namespace {

// WM_HOSTUPDATED with its row index.
class CHostUpdatedEvent : public QEvent {
public:
    explicit CHostUpdatedEvent(int nIndex)
        : QEvent(static_cast<QEvent::Type>(CVantrelView::WM_HOSTUPDATED)), m_nIndex(nIndex) {}
    int m_nIndex;
};

struct SColumn {
    const char* pszHeader;
    Qt::Alignment align;
    int nWidth;            // 0: shares the width that is left over
    const char* pszWidest; // the widest text the column usually holds
};

const SColumn kColumns[CVantrelView::COLUMN_COUNT] = {
    {" ", Qt::AlignHCenter, 26, ""},
    {"Hosting Company", Qt::AlignLeft, 0, ""},
    {"Test URL", Qt::AlignLeft, 0, ""},
    {"Status", Qt::AlignHCenter, 130, "Testing - Unknown"},
    {"Time Tested", Qt::AlignHCenter, 90, "000d 00h 00m"},
    {"Uptime %", Qt::AlignHCenter, 80, "100.0%"},
    {"Ping RTT", Qt::AlignHCenter, 80, "9999.9 ms"},
    {"Response", Qt::AlignHCenter, 80, "99999 ms"},
};

// The fixed columns are 30 pixels narrower in all at creation than on later resizes.
constexpr int CREATION_SLACK = 30;

} // namespace

const char* const CVantrelView::NO_HOST_CHOSEN =
    "No host is ticked or selected: tick the hosts to use, or select one.";
const char* const CVantrelView::REMOVE_QUESTION =
    "Are you sure you want to delete this web host? All details will be removed.\nYou cannot "
    "undo this action.";

CVantrelView::CVantrelView(QWidget* pParent) : CListViewEx(pParent) {
    setFrameShape(QFrame::StyledPanel);
    // The header is there from the start, as the client area's height must not change later.
    GetModel()->setColumnCount(COLUMN_COUNT);
    SetStateImages(CArtwork::CheckBoxStrip(), CArtwork::CHECK_WIDTH);
    m_timerRetry.setSingleShot(true);
    m_timerRetry.setInterval(RETRY_MS);
    connect(&m_timerRetry, &QTimer::timeout, this, &CVantrelView::RetryPendingRows);
}

void CVantrelView::OnInitialUpdate(CVantrelDoc& doc) {
    m_pDoc = &doc;
    QStandardItemModel* pModel = GetModel();
    for (int i = 0; i < COLUMN_COUNT; ++i) {
        pModel->setHeaderData(i, Qt::Horizontal, QString::fromLatin1(kColumns[i].pszHeader));
        pModel->setHeaderData(i, Qt::Horizontal, int(kColumns[i].align | Qt::AlignVCenter),
                              Qt::TextAlignmentRole);
        if (kColumns[i].nWidth)
            header()->resizeSection(i, GetFittingWidth(i));
    }
    const int nShared = (viewport()->width() - (GetFixedWidth() - CREATION_SLACK)) / 2;
    header()->resizeSection(1, std::max(0, nShared));
    header()->resizeSection(2, std::max(0, nShared));
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setSectionResizeMode(0, QHeaderView::Fixed);

    CWaiter waiter(m_pWait);
    for (CHost* pHost : doc.m_arrHosts) {
        waiter.Lock(*pHost->m_pMutex);
        AddHostRow(*pHost);
        m_arrMarked.push_back(0);
        pHost->m_pMutex->unlock();
    }
}

void CVantrelView::AddHostRow(const CHost& host) {
    QStandardItemModel* pModel = GetModel();
    const int nRow = pModel->rowCount();
    QList<QStandardItem*> items;
    for (int i = 0; i < COLUMN_COUNT; ++i)
        items << new QStandardItem();
    items[0]->setData(1, STATE_ROLE);
    items[0]->setSizeHint(QSize(CArtwork::CHECK_WIDTH, GetRowHeight()));
    pModel->appendRow(items);
    UpdateHostRow(nRow, host);
}

void CVantrelView::UpdateHostRow(int nRow, const CHost& host) {
    SetItemText(nRow, 1, QString::fromLatin1(host.m_strName));
    SetItemText(nRow, 2, QString::fromLatin1(host.m_strTestURL));
    SetItemText(nRow, 3, QString::fromLatin1(host.GetStatusText()));
    SetItemText(nRow, 4, QString::fromLatin1(host.GetTimeTestedText()));
    SetItemText(nRow, 5, QString::fromLatin1(host.GetUptimeText()));
    SetItemText(nRow, 6, QString::fromLatin1(host.GetAvgPingText()));
    SetItemText(nRow, 7,
                QString::fromStdString(CHistoryText::Milliseconds(host.m_nMedianResponseTenths)));
    // A tooltip that looks like markup is shown as markup: a reason quoting a server's or a
    // user's "<" is escaped first.
    QString strLast = QString::fromLatin1(CHistoryText::LastResult(host.m_lastTest));
    if (Qt::mightBeRichText(strLast))
        strLast = Qt::convertFromPlainText(strLast, Qt::WhiteSpaceNoWrap);
    GetModel()->setData(GetModel()->index(nRow, 3),
                        strLast.isEmpty() ? QVariant() : QVariant(strLast), Qt::ToolTipRole);
    CheckAnyHostDown();
}

void CVantrelView::CheckAnyHostDown() {
    bool bDown = false;
    for (int nRow = 0; nRow < GetModel()->rowCount() && !bDown; ++nRow)
        bDown = GetItemText(nRow, 3) == QLatin1String(STATUS_TESTING_DOWN);
    if (bDown != m_bAnyDown) {
        m_bAnyDown = bDown;
        emit AnyHostDownChanged(bDown);
    }
}

void CVantrelView::ToggleCheck(int nRow) {
    int& nMarked = m_arrMarked[static_cast<size_t>(nRow)];
    nMarked = nMarked ? 0 : 1;
    SetStateImage(nRow, nMarked ? 2 : 1);
}

void CVantrelView::PostHostUpdated(int nIndex) {
    QCoreApplication::postEvent(this, new CHostUpdatedEvent(nIndex));
}

void CVantrelView::customEvent(QEvent* pEvent) {
    if (pEvent->type() != static_cast<QEvent::Type>(WM_HOSTUPDATED)) {
        CListViewEx::customEvent(pEvent);
        return;
    }
    RefreshRow(static_cast<CHostUpdatedEvent*>(pEvent)->m_nIndex);
}

void CVantrelView::RefreshRow(int nIndex) {
    // A notice posted just before its host was removed.
    if (!m_pDoc || nIndex < 0 || nIndex >= static_cast<int>(m_pDoc->m_arrHosts.size()) ||
        nIndex >= GetModel()->rowCount())
        return;
    CHost& host = *m_pDoc->m_arrHosts[static_cast<size_t>(nIndex)];
    // Never wait here: the worker may hold the lock for seconds, or be waiting for a message
    // box that only this thread can show.
    if (!host.m_pMutex->try_lock()) {
        m_setPending.insert(nIndex);
        if (!m_timerRetry.isActive())
            m_timerRetry.start();
        return;
    }
    UpdateHostRow(nIndex, host);
    host.m_pMutex->unlock();
}

void CVantrelView::RetryPendingRows() {
    const std::set<int> pending = std::move(m_setPending);
    m_setPending.clear();
    for (int nIndex : pending)
        RefreshRow(nIndex);
}

void CVantrelView::OnClientResize(int nWidth) {
    if (GetModel()->columnCount() < COLUMN_COUNT)
        return;
    const int nShared = std::max(0, (nWidth - GetFixedWidth()) / 2);
    header()->resizeSection(1, nShared);
    header()->resizeSection(2, nShared);
}

int CVantrelView::GetFittingWidth(int nColumn) const {
    const SColumn& column = kColumns[nColumn];
    if (nColumn == 0)
        return column.nWidth;
    // With a larger font the usual texts and the header still fit, not cut to "...".
    const int nText = fontMetrics().horizontalAdvance(QString::fromLatin1(column.pszWidest)) +
                      2 * CELL_MARGIN + 2;
    const int nHeader =
        header()->fontMetrics().horizontalAdvance(QString::fromLatin1(column.pszHeader)) +
        4 * CELL_MARGIN;
    return std::max({column.nWidth, nText, nHeader});
}

int CVantrelView::GetFixedWidth() const {
    int nFixed = 0;
    for (int i = 0; i < COLUMN_COUNT; ++i)
        if (kColumns[i].nWidth)
            nFixed += header()->sectionSize(i);
    return nFixed;
}

void CVantrelView::OnToggleRow(int nRow) {
    ToggleCheck(nRow);
}

void CVantrelView::OnDoubleClickRow(int) {
    OnEditHost();
}

void CVantrelView::OnAddHost() {
    auto pHost = std::make_unique<CHost>();
    if (!CHostAssistant::Run(window(), *pHost, false))
        return;
    m_pDoc->PauseTests();
    m_pDoc->AddHost(pHost.release());
    AddHostRow(*m_pDoc->m_arrHosts.back());
    m_arrMarked.push_back(0);
    // Saved while no worker holds a lock.
    SaveHostsNow(*m_pDoc, m_pWait);
    m_pDoc->StartTests();
}

void CVantrelView::OnEditHost() {
    const int nRow = GetSelectedRow();
    if (nRow < 0) {
        CMessageBox::Information(window(), QStringLiteral("Please select a web host to edit."));
        return;
    }
    CHost& host = *m_pDoc->m_arrHosts[static_cast<size_t>(nRow)];
    // Held while the assistant is open: the worker does not test a host being edited.
    CWaiter(m_pWait).Lock(*host.m_pMutex);
    std::unique_lock lock(*host.m_pMutex, std::adopt_lock);
    if (!CHostAssistant::Run(window(), host, true))
        return;
    m_pDoc->OnHostEdited(nRow);
    UpdateHostRow(nRow, host);
    // The save takes every host's lock in turn; none may be held while it waits.
    lock.unlock();
    SaveHostsNow(*m_pDoc, m_pWait);
}

std::vector<int> CVantrelView::ChosenRows() {
    std::vector<int> arrRows = GetChosenHosts(m_arrMarked, GetSelectedRow());
    if (arrRows.empty())
        emit CommandMessage(QString::fromLatin1(NO_HOST_CHOSEN));
    return arrRows;
}

void CVantrelView::OnBuildGraph() {
    // One graph: the first of the chosen hosts.
    const std::vector<int> arrRows = ChosenRows();
    if (!arrRows.empty())
        CHostGraphDlg::ShowForHost(window(), *m_pDoc, arrRows.front(), m_pWait);
}

void CVantrelView::OnHistory() {
    // One window: the first of the chosen hosts.
    const std::vector<int> arrRows = ChosenRows();
    if (!arrRows.empty())
        CHistoryDlg::ShowForHost(window(), *m_pDoc, arrRows.front(), m_pWait);
}

void CVantrelView::OnCompareHosts() {
    const std::vector<int> arrRows = ChosenRows();
    if (arrRows.empty())
        return;
    std::vector<int> arrChosen(m_arrMarked.size(), 0);
    for (int nRow : arrRows)
        arrChosen[static_cast<size_t>(nRow)] = 1;
    CCompareHostsDlg::ShowForHosts(window(), *m_pDoc, arrChosen, m_pWait);
}

void CVantrelView::OnGenerateReport() {
    const std::vector<int> arrRows = ChosenRows();
    if (arrRows.empty())
        return;
    // The ticks are used up only by a report that was written; a cancel leaves them.
    if (CReportCommandUI::Run(window(), *m_pDoc, arrRows, m_pWait).empty())
        return;
    for (int nRow : arrRows)
        if (m_arrMarked[static_cast<size_t>(nRow)])
            ToggleCheck(nRow);
}

void CVantrelView::OnRemoveHost() {
    const int nRow = GetSelectedRow();
    if (nRow < 0) {
        CMessageBox::Information(window(), QStringLiteral("There is no web host selected. You must "
                                                          "highlight a web host before you use "
                                                          "this action."));
        return;
    }
    // The box may hide the selection: the question names the host.
    const QString strName =
        QString::fromLatin1(m_pDoc->m_arrHosts[static_cast<size_t>(nRow)]->m_strName);
    if (!CMessageBox::Question(window(), QString::fromLatin1(REMOVE_QUESTION) + "\n\n" + strName))
        return;
    m_pDoc->PauseTests();
    m_pDoc->RemoveHost(nRow);
    m_arrMarked.erase(m_arrMarked.begin() + nRow);
    GetModel()->removeRow(nRow);
    CheckAnyHostDown();
    // Qt would select the next host; a second Remove must not delete a host nobody chose.
    selectionModel()->clear();
    // Rows below moved up by one; so do their pending redraws.
    std::set<int> pending;
    for (int nIndex : m_setPending)
        if (nIndex != nRow)
            pending.insert(nIndex > nRow ? nIndex - 1 : nIndex);
    m_setPending = std::move(pending);
    SaveHostsNow(*m_pDoc, m_pWait);
    m_pDoc->StartTests();
}

void CVantrelView::OnStartTests() {
    const std::vector<int> arrChosen = ChosenRows();
    StartTestsOnHosts(*m_pDoc, arrChosen, m_pWait,
                      [this](int nIndex) { AfterTestsChanged(nIndex); });
}

void CVantrelView::OnStopTests() {
    const std::vector<int> arrChosen = ChosenRows();
    StopTestsOnHosts(*m_pDoc, arrChosen, m_pWait,
                     [this](int nIndex) { AfterTestsChanged(nIndex); });
}

void CVantrelView::AfterTestsChanged(int nIndex) {
    UpdateHostRow(nIndex, *m_pDoc->m_arrHosts[static_cast<size_t>(nIndex)]);
    if (m_arrMarked[static_cast<size_t>(nIndex)])
        ToggleCheck(nIndex);
}

void CVantrelView::OnOptions() {
    COptionsDlg dlg(window(), m_pWait);
    dlg.m_pDoc = m_pDoc;
    if (dlg.exec() == QDialog::Accepted)
        emit SettingsChanged();
}

void CVantrelView::OnTutorial() {
    CTutorialCommand(window()).Execute();
}
