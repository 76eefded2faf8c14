#include "graph/history_dlg.h"

#include "core/host.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "graph/history_csv.h"
#include "graph/history_series.h"
#include "graph/history_text.h"
#include "graph/time_chart.h"
#include "testing/waiter.h"
#include "widgets/message_box.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <mutex>

namespace {

CHistoryDlg::MessageFn& MessageHook() {
    static CHistoryDlg::MessageFn s_fnMessage;
    return s_fnMessage;
}

CSettingsStore*& PlacementStore() {
    static CSettingsStore* s_pStore = nullptr;
    return s_pStore;
}

constexpr char PLACEMENT_NAME[] = "HostHistory";
constexpr int64_t DAY = 86400;

const char* const RANGE_NAMES[CHistoryDlg::RANGE_COUNT] = {"24 hours", "7 days", "30 days", "All"};
const char* const FIGURE_NAMES[CHistoryDlg::FIGURE_COUNT] = {
    "Uptime", "Tests", "Loss (echoes answered/sent)", "Web response (median)"};

const QColor PING_COLOR(72, 190, 103);
const QColor RESPONSE_COLOR(31, 119, 180);

QString Latin1(const std::string& str) {
    return QString::fromLatin1(str.data(), static_cast<qsizetype>(str.size()));
}

std::string ToLatin1(const QString& str) {
    return str.toLatin1().toStdString();
}

// A coloured square and its meaning, for the legend under the chart.
QLabel* LegendEntry(const QColor& color, const char* pszText, QWidget* pParent) {
    auto* pLabel = new QLabel(pParent);
    pLabel->setTextFormat(Qt::RichText);
    pLabel->setText(QStringLiteral("<span style=\"color:%1\">&#9632;</span> %2")
                        .arg(color.name(), QString::fromLatin1(pszText)));
    return pLabel;
}

} // namespace

CHistoryDlg::CHistoryDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("History - Vantrel"));
    setSizeGripEnabled(true);
    auto* pLayout = new QVBoxLayout(this);

    auto* pTop = new QHBoxLayout;
    pTop->addWidget(new QLabel(QStringLiteral("Period"), this));
    m_pRange = new QComboBox(this);
    m_pRange->setObjectName(QStringLiteral("range"));
    for (const char* pszRange : RANGE_NAMES)
        m_pRange->addItem(QString::fromLatin1(pszRange));
    pTop->addWidget(m_pRange);
    pTop->addStretch(1);
    m_pCertificate = new QLabel(this);
    m_pCertificate->setObjectName(QStringLiteral("certificate"));
    m_pCertificate->setTextFormat(Qt::PlainText);
    pTop->addWidget(m_pCertificate);
    pLayout->addLayout(pTop);

    m_pChart = new CTimeChart(this);
    const int nTextSize = QFontInfo(font()).pixelSize();
    m_pChart->SetMinTextSize(nTextSize);
    m_pChart->setMinimumSize(nTextSize * 34, nTextSize * 14);
    m_pChart->SetBackgroundColor(Qt::white);
    for (auto [nSeries, color] : {std::pair(0, PING_COLOR), std::pair(1, RESPONSE_COLOR)}) {
        m_pChart->SetSeriesType(nSeries, CChartSeries::TYPE_LINE);
        m_pChart->SetSeriesColor(nSeries, color);
        m_pChart->SetSeriesSize(nSeries, 1);
    }
    pLayout->addWidget(m_pChart, 3);

    auto* pLegend = new QHBoxLayout;
    pLegend->addWidget(LegendEntry(PING_COLOR, "Ping time (ms)", this));
    pLegend->addWidget(LegendEntry(RESPONSE_COLOR, "Web response time (ms)", this));
    pLegend->addWidget(LegendEntry(CTimeChart::DOWN_SHADE.darker(115), "Down", this));
    pLegend->addStretch(1);
    pLayout->addLayout(pLegend);

    auto* pFigures = new QGridLayout;
    for (int nRange = 0; nRange < RANGE_COUNT; ++nRange)
        pFigures->addWidget(new QLabel(QString::fromLatin1(RANGE_NAMES[nRange]), this), 0,
                            nRange + 1, Qt::AlignRight);
    for (int nFigure = 0; nFigure < FIGURE_COUNT; ++nFigure) {
        pFigures->addWidget(new QLabel(QString::fromLatin1(FIGURE_NAMES[nFigure]), this),
                            nFigure + 1, 0);
        for (int nRange = 0; nRange < RANGE_COUNT; ++nRange) {
            auto* pValue = new QLabel(QStringLiteral("-"), this);
            pValue->setTextInteractionFlags(Qt::TextSelectableByMouse);
            pFigures->addWidget(pValue, nFigure + 1, nRange + 1, Qt::AlignRight);
            m_arrFigures[static_cast<size_t>(nFigure)][static_cast<size_t>(nRange)] = pValue;
        }
    }
    pFigures->setColumnStretch(0, 1);
    for (int nRange = 0; nRange < RANGE_COUNT; ++nRange)
        pFigures->setColumnStretch(nRange + 1, 1);
    pLayout->addLayout(pFigures);

    m_pOutageSummary = new QLabel(this);
    m_pOutageSummary->setObjectName(QStringLiteral("outageSummary"));
    m_pOutageSummary->setTextFormat(Qt::PlainText);
    pLayout->addWidget(m_pOutageSummary);
    m_pOutages = new QTableWidget(0, 5, this);
    m_pOutages->setHorizontalHeaderLabels({QStringLiteral("From"), QStringLiteral("To"),
                                           QStringLiteral("Duration"), QStringLiteral("Reason"),
                                           QStringLiteral("Last seen up")});
    m_pOutages->verticalHeader()->hide();
    m_pOutages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pOutages->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pOutages->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pOutages->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    m_pOutages->setMinimumHeight(nTextSize * 6);
    pLayout->addWidget(m_pOutages, 2);

    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* pExport =
        pButtons->addButton(QStringLiteral("Export CSV..."), QDialogButtonBox::ActionRole);
    pExport->setAutoDefault(false);
    connect(pExport, &QPushButton::clicked, this, &CHistoryDlg::OnExportCsv);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pButtons);

    connect(m_pRange, &QComboBox::currentIndexChanged, this, &CHistoryDlg::SetRange);
    resize(900, 720);
}

CHistoryDlg::~CHistoryDlg() = default;

void CHistoryDlg::SetPlacementStore(CSettingsStore* pStore) {
    PlacementStore() = pStore;
}

void CHistoryDlg::SetMessageFunction(MessageFn fnMessage) {
    MessageHook() = std::move(fnMessage);
}

void CHistoryDlg::ShowMessage(QWidget* pOwner, const std::string& strText) {
    if (MessageHook())
        MessageHook()(pOwner, strText);
    else
        CMessageBox::Information(pOwner, Latin1(strText));
}

std::unique_ptr<CHistoryDlg> CHistoryDlg::Prepare(QWidget* pParent, CVantrelDoc& doc,
                                                  int nSelectedRow, CWaitObserver* pWaitObserver) {
    if (nSelectedRow < 0 || static_cast<size_t>(nSelectedRow) >= doc.m_arrHosts.size()) {
        ShowMessage(pParent, "Please select a web host to show the history for.");
        return nullptr;
    }
    CHost& host = *doc.m_arrHosts[static_cast<size_t>(nSelectedRow)];
    std::string strName, strTestURL;
    int64_t nHostId = 0;
    {
        CWaiter(pWaitObserver).Lock(*host.m_pMutex);
        std::lock_guard lock(*host.m_pMutex, std::adopt_lock);
        strName = host.m_strName;
        strTestURL = host.m_strTestURL;
        nHostId = host.m_nHistoryId;
    }
    if (nHostId == 0) {
        ShowMessage(pParent, "There is no history for this host yet: it is recorded from the "
                             "host's next test on.");
        return nullptr;
    }
    auto pDlg = std::make_unique<CHistoryDlg>(pParent);
    if (!pDlg->Open(doc.GetHistoryPath(), nHostId, strName, strTestURL,
                    static_cast<int64_t>(time(nullptr))))
        return nullptr;
    if (CSettingsStore* pStore = PlacementStore()) {
        const std::string strGeometry = pStore->LoadWindowGeometry(PLACEMENT_NAME);
        if (!strGeometry.empty())
            pDlg->restoreGeometry(QByteArray::fromStdString(strGeometry));
    }
    return pDlg;
}

void CHistoryDlg::ShowForHost(QWidget* pParent, CVantrelDoc& doc, int nSelectedRow,
                              CWaitObserver* pWaitObserver) {
    if (std::unique_ptr<CHistoryDlg> pDlg = Prepare(pParent, doc, nSelectedRow, pWaitObserver))
        pDlg->exec();
}

void CHistoryDlg::done(int nResult) {
    if (CSettingsStore* pStore = PlacementStore())
        pStore->SaveWindowGeometry(PLACEMENT_NAME, saveGeometry().toStdString());
    QDialog::done(nResult);
}

bool CHistoryDlg::Open(const std::string& strPath, int64_t nHostId, const std::string& strName,
                       const std::string& strTestURL, int64_t tNow) {
    if (m_store.OpenExisting(strPath) != CHistoryStore::EOpen::OK) {
        ShowMessage(parentWidget(), "The history cannot be read.\n" + m_store.GetLastError());
        return false;
    }
    m_nHostId = nHostId;
    m_tNow = tNow;
    m_strName = strName;
    setWindowTitle(Latin1("History of " + strName + " - Vantrel"));
    m_pChart->SetTitle(strName + " - " + strTestURL);
    m_all = m_store.Summarize(m_nHostId, 0, m_tNow + 1);
    FillFigures();
    {
        const QSignalBlocker blocker(m_pRange);
        m_pRange->setCurrentIndex(m_nRange);
    }
    SetRange(m_nRange);
    return true;
}

int64_t CHistoryDlg::RangeStart(int nRange) const {
    switch (nRange) {
    case RANGE_DAY:
        return m_tNow - DAY;
    case RANGE_WEEK:
        return m_tNow - 7 * DAY;
    case RANGE_MONTH:
        return m_tNow - 30 * DAY;
    default:
        // All of it, or a day while there is nothing yet.
        return m_all.nTests > 0 && m_all.tFirst < m_tNow ? m_all.tFirst : m_tNow - DAY;
    }
}

void CHistoryDlg::SetRange(int nRange) {
    m_nRange = std::clamp(nRange, 0, RANGE_COUNT - 1);
    if (m_pRange->currentIndex() != m_nRange) {
        const QSignalBlocker blocker(m_pRange);
        m_pRange->setCurrentIndex(m_nRange);
    }
    FillChart();
    FillOutages();
}

void CHistoryDlg::FillFigures() {
    for (int nRange = 0; nRange < RANGE_COUNT; ++nRange) {
        const CHistoryStore::CSummary summary =
            nRange == RANGE_ALL ? m_all
                                : m_store.Summarize(m_nHostId, RangeStart(nRange), m_tNow + 1);
        std::string strLoss = "-";
        if (summary.nEchoesSent > 0)
            strLoss = CHistoryText::Percent(summary.nEchoesSent - summary.nEchoesAnswered,
                                            summary.nEchoesSent) +
                      " (" + std::to_string(summary.nEchoesAnswered) + "/" +
                      std::to_string(summary.nEchoesSent) + ")";
        const std::string arrTexts[FIGURE_COUNT] = {
            CHistoryText::Percent(summary.nTestsUp, summary.nTests), std::to_string(summary.nTests),
            strLoss, CHistoryText::Milliseconds(summary.nMedianTotalTenths)};
        for (int nFigure = 0; nFigure < FIGURE_COUNT; ++nFigure)
            m_arrFigures[static_cast<size_t>(nFigure)][static_cast<size_t>(nRange)]->setText(
                Latin1(arrTexts[nFigure]));
    }
    std::string strCertificate = "Certificate: none seen";
    if (const int64_t tExpiry = m_all.tCertExpiry; tExpiry > 0) {
        // Whole days, counted down: a certificate that expires in 23 hours has 0 days left.
        const int64_t nSeconds = tExpiry - m_tNow;
        if (nSeconds > 0)
            strCertificate = "Certificate expires " + CHistoryText::LocalTime(tExpiry) + " (in " +
                             std::to_string(nSeconds / DAY) + " days)";
        else
            strCertificate = "Certificate expired " + CHistoryText::LocalTime(tExpiry) + " (" +
                             std::to_string(-nSeconds / DAY) + " days ago)";
    }
    m_pCertificate->setText(Latin1(strCertificate));
}

void CHistoryDlg::FillChart() {
    const int64_t tFrom = RangeStart(m_nRange);
    CHistorySeries series;
    series.Read(m_store, m_nHostId, tFrom, m_tNow + 1, COLUMNS);
    m_pChart->SetRange(tFrom, m_tNow + 1, COLUMNS);
    for (const CHistorySeries::CColumn& column : series.m_arrColumns) {
        m_pChart->AddPoint(0, column.nPingTenths < 0 ? CChartSeries::EMPTY_POINT
                                                     : column.nPingTenths / 10.0);
        m_pChart->AddPoint(1, column.nResponseTenths < 0 ? CChartSeries::EMPTY_POINT
                                                         : column.nResponseTenths / 10.0);
    }
}

void CHistoryDlg::FillOutages() {
    const std::vector<COutage> arrOutages =
        m_store.Outages(m_nHostId, RangeStart(m_nRange), m_tNow + 1);
    std::vector<std::pair<int64_t, int64_t>> arrDown;
    int64_t nLongest = 0, nTotal = 0;
    for (const COutage& outage : arrOutages) {
        const int64_t tEnd = outage.tEnd > 0 ? outage.tEnd : m_tNow;
        arrDown.emplace_back(outage.tStart, tEnd);
        nLongest = std::max(nLongest, tEnd - outage.tStart);
        nTotal += tEnd - outage.tStart;
    }
    m_pChart->SetDownPeriods(std::move(arrDown));
    if (arrOutages.empty())
        m_pOutageSummary->setText(QStringLiteral("No outages"));
    else
        m_pOutageSummary->setText(Latin1(
            std::to_string(arrOutages.size()) + (arrOutages.size() == 1 ? " outage" : " outages") +
            ", longest " + CHistoryText::Duration(nLongest) + ", " +
            CHistoryText::Duration(nTotal) + " down in all" +
            (arrOutages.size() > MAX_OUTAGE_ROWS
                 ? " (the newest " + std::to_string(MAX_OUTAGE_ROWS) + " listed)"
                 : std::string())));

    const int nRows = static_cast<int>(std::min<size_t>(arrOutages.size(), MAX_OUTAGE_ROWS));
    m_pOutages->setRowCount(nRows);
    for (int nRow = 0; nRow < nRows; ++nRow) {
        const COutage& outage = arrOutages[arrOutages.size() - 1 - static_cast<size_t>(nRow)];
        const int64_t tEnd = outage.tEnd > 0 ? outage.tEnd : m_tNow;
        const std::string arrCells[] = {
            CHistoryText::LocalTime(outage.tStart),
            outage.tEnd == 0     ? "still down"
            : outage.bEndUnknown ? CHistoryText::LocalTime(outage.tEnd) + " or later"
                                 : CHistoryText::LocalTime(outage.tEnd),
            (outage.bEndUnknown ? "at least " : "") + CHistoryText::Duration(tEnd - outage.tStart),
            outage.strReason,
            outage.tLastSeenUp > 0 ? CHistoryText::LocalTime(outage.tLastSeenUp) : "-"};
        for (int nColumn = 0; nColumn < 5; ++nColumn)
            m_pOutages->setItem(nRow, nColumn, new QTableWidgetItem(Latin1(arrCells[nColumn])));
    }
}

std::string CHistoryDlg::GetFigure(int nFigure, int nRange) const {
    return ToLatin1(
        m_arrFigures.at(static_cast<size_t>(nFigure)).at(static_cast<size_t>(nRange))->text());
}

std::string CHistoryDlg::GetCertificateText() const {
    return ToLatin1(m_pCertificate->text());
}

std::string CHistoryDlg::GetOutageSummary() const {
    return ToLatin1(m_pOutageSummary->text());
}

std::vector<std::string> CHistoryDlg::GetOutageRows() const {
    std::vector<std::string> arrRows;
    for (int nRow = 0; nRow < m_pOutages->rowCount(); ++nRow) {
        std::string strRow;
        for (int nColumn = 0; nColumn < m_pOutages->columnCount(); ++nColumn)
            strRow += (nColumn ? " | " : "") + ToLatin1(m_pOutages->item(nRow, nColumn)->text());
        arrRows.push_back(strRow);
    }
    return arrRows;
}

void CHistoryDlg::OnExportCsv() {
    QFileDialog dlg(this);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setNameFilter(QStringLiteral("CSV files (*.csv)"));
    dlg.setDefaultSuffix(QStringLiteral("csv"));
    dlg.selectFile(QStringLiteral("history.csv"));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return;
    ExportCsv(QFile::encodeName(dlg.selectedFiles().first()).toStdString());
}

bool CHistoryDlg::ExportCsv(const std::string& strPath) {
    std::string strError;
    if (CHistoryCsv::Write(m_store, m_nHostId, RangeStart(m_nRange), m_tNow + 1, strPath, strError))
        return true;
    ShowMessage(this, "The history could not be exported.\n" + strError + ".");
    return false;
}
