#include "graph/host_graph_dlg.h"

#include "core/host.h"
#include "core/vantrel_doc.h"
#include "graph/chart_ctrl.h"
#include "testing/waiter.h"
#include "widgets/artwork.h"
#include "widgets/masked_picture.h"
#include "widgets/message_box.h"
#include "widgets/styled_label.h"

#include <QFontInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <mutex>

namespace {

CHostGraphDlg::MessageFn& MessageHook() {
    static CHostGraphDlg::MessageFn s_fnMessage;
    return s_fnMessage;
}

QString Latin1(const std::string& str) {
    return QString::fromLatin1(str.data(), static_cast<qsizetype>(str.size()));
}

// The dialog is laid out in dialog units of the 8-point dialog font (6 x 13 pixels per four
// by eight units).
int DluX(int n) {
    return n * 6 / 4;
}
int DluY(int n) {
    return n * 13 / 8;
}

const QColor PING_AREA_COLOR(72, 190, 103);

} // namespace

CHostGraphDlg::CHostGraphDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Vantrel"));
    // Resizable: the chart takes the room that the window gains.
    setSizeGripEnabled(true);
    auto* pGrid = new QGridLayout(this);

    // The heading and the logo above the chart and the values.
    auto* pHeader = new QGridLayout;
    m_pTitle = new CStyledLabel(QStringLiteral("Testing Graph"), this);
    pHeader->addWidget(m_pTitle, 0, 0);
    pHeader->addWidget(
        new QLabel(QStringLiteral("Below outlines the uptime and connection speed for the host."),
                   this),
        1, 0);
    auto* pLogo = new CMaskedPicture(this);
    const QImage logo = CArtwork::Logo();
    pLogo->SetBitmap(logo);
    pLogo->setFixedSize(logo.size());
    pHeader->addWidget(pLogo, 0, 1, 2, 1, Qt::AlignTop | Qt::AlignRight);
    pHeader->setColumnStretch(0, 1);
    pGrid->addLayout(pHeader, 0, 0, 1, 2);

    m_pChart = new CChartCtrl(this);
    // Labels in the chart are read like the rest of the window. The smallest chart leaves room
    // for them: the scale's numbers and title in its left tenth, the cycles and their title in
    // its bottom seventh.
    const int nTextSize = QFontInfo(font()).pixelSize();
    m_pChart->SetMinTextSize(nTextSize);
    m_pChart->setMinimumSize(nTextSize * 34, nTextSize * 16);
    pGrid->addWidget(m_pChart, 1, 0, 2, 1);

    auto* pValues = new QVBoxLayout;
    pValues->addStretch(1);
    m_pUptimeValue = new CStyledLabel(this);
    m_pPingValue = new CStyledLabel(this);
    for (auto [pszCaption, pValue] :
         {std::pair("Avg. Uptime", m_pUptimeValue), std::pair("Avg. Ping", m_pPingValue)}) {
        pValues->addWidget(new QLabel(QString::fromLatin1(pszCaption), this));
        pValue->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pValue->setAlignment(Qt::AlignCenter);
        pValue->setMinimumSize(DluX(63), DluY(14));
        pValues->addWidget(pValue);
        pValues->addSpacing(DluY(10));
    }
    pGrid->addLayout(pValues, 1, 1);

    auto* pOK = new QPushButton(QStringLiteral("OK"), this);
    pOK->setDefault(true);
    connect(pOK, &QPushButton::clicked, this, &QDialog::accept);
    pGrid->addWidget(pOK, 2, 1, Qt::AlignBottom | Qt::AlignRight);
    pGrid->setColumnStretch(0, 1);
    pGrid->setRowStretch(1, 1);
    resize(DluX(362), DluY(226));
}

CHostGraphDlg::~CHostGraphDlg() = default;

void CHostGraphDlg::SetMessageFunction(MessageFn fnMessage) {
    MessageHook() = std::move(fnMessage);
}

void CHostGraphDlg::ShowMessage(QWidget* pOwner, const std::string& strText) {
    if (MessageHook())
        MessageHook()(pOwner, strText);
    else
        CMessageBox::Information(pOwner, Latin1(strText));
}

std::unique_ptr<CHostGraphDlg> CHostGraphDlg::Prepare(QWidget* pParent, CVantrelDoc& doc,
                                                      int nSelectedRow,
                                                      CWaitObserver* pWaitObserver) {
    if (nSelectedRow < 0 || static_cast<size_t>(nSelectedRow) >= doc.m_arrHosts.size()) {
        ShowMessage(pParent, "Please select a web host to build the graph for.");
        return nullptr;
    }
    // Too little data is told before any wait for a test in progress: counted under the lock
    // when it is free, else from the length the worker published (the worker may be appending
    // to the array itself meanwhile). The history only grows, so the snapshot has as much.
    CHost& host = *doc.m_arrHosts[static_cast<size_t>(nSelectedRow)];
    size_t nPings = host.m_nPublishedPings;
    if (host.m_pMutex->try_lock()) {
        nPings = host.m_pPingHistory->size();
        host.m_pMutex->unlock();
    }
    if (nPings < MIN_POINTS) {
        char szText[256];
        std::snprintf(szText, sizeof(szText),
                      "There is not enough data collected to build the graph.\nFor the "
                      "accurate building of the graph please wait till\nat least 12 test "
                      "cycles complete ( test cycle is set to %d min now ).",
                      static_cast<int>(doc.m_nIntervalMinutes));
        ShowMessage(pParent, szText);
        return nullptr;
    }
    auto pDlg = std::make_unique<CHostGraphDlg>(pParent);
    pDlg->TakeSnapshot(host, pWaitObserver);
    pDlg->OnInitDialog();
    return pDlg;
}

void CHostGraphDlg::ShowForHost(QWidget* pParent, CVantrelDoc& doc, int nSelectedRow,
                                CWaitObserver* pWaitObserver) {
    if (std::unique_ptr<CHostGraphDlg> pDlg = Prepare(pParent, doc, nSelectedRow, pWaitObserver))
        pDlg->exec();
}

void CHostGraphDlg::TakeSnapshot(CHost& host, CWaitObserver* pWaitObserver) {
    CWaiter(pWaitObserver).Lock(*host.m_pMutex);
    std::lock_guard lock(*host.m_pMutex, std::adopt_lock);
    m_strAvgUptime = host.GetUptimeText();
    m_strAvgPing = host.GetAvgPingText();
    m_arrHistory = *host.m_pPingHistory;
    m_strName = host.m_strName;
    m_strTestURL = host.m_strTestURL;
}

void CHostGraphDlg::OnInitDialog() {
    m_pTitle->SetFace(QStringLiteral("Verdana"));
    m_pTitle->SetCharHeight(20);
    m_pPingValue->SetLabelText(Latin1(m_strAvgPing));
    m_pUptimeValue->SetLabelText(Latin1(m_strAvgUptime));

    const int n = static_cast<int>(m_arrHistory.size());
    const int nFirst = n > MAX_POINTS ? n - MAX_POINTS : 0;
    for (int k = nFirst; k < n; ++k) {
        m_pChart->AddPoint(0, static_cast<double>(m_arrHistory[static_cast<size_t>(k)]));
        m_pChart->SetXLabel(k - nFirst, std::to_string(n - k));
    }

    m_pChart->SetSeriesType(0, CChartSeries::TYPE_AREA);
    m_pChart->SetSeriesColor(0, PING_AREA_COLOR);
    m_pChart->SetSeriesSize(0, 1);
    m_pChart->SetBackgroundColor(QColor(255, 255, 255));
    m_pChart->SetYDivisions(10);
    m_pChart->SetTitle(m_strName + " - " + m_strTestURL);
    m_pChart->SetXLabelStep((n - nFirst) / 12);
    m_pChart->SetYAxisTitle("Ping Time (ms)");
    m_pChart->SetXAxisTitle("Test Cycles Ago");
}
