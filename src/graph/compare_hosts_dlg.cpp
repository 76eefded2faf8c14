#include "graph/compare_hosts_dlg.h"

#include "core/history_store.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "graph/comparison_chart.h"
#include "widgets/message_box.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <ctime>

namespace {

CCompareHostsDlg::MessageFn& MessageHook() {
    static CCompareHostsDlg::MessageFn s_fnMessage;
    return s_fnMessage;
}

CSettingsStore*& PlacementStore() {
    static CSettingsStore* s_pStore = nullptr;
    return s_pStore;
}

constexpr char PLACEMENT_NAME[] = "CompareHosts";

// The three views, painted at the widget's size.
class CComparisonView : public QWidget {
public:
    CComparisonView(const CHostComparison& comparison, QWidget* pParent)
        : QWidget(pParent), m_comparison(comparison) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumSize(400, 360);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter dc(this);
        CComparisonChart(m_comparison).Paint(dc, size());
    }

private:
    const CHostComparison& m_comparison;
};

} // namespace

const char* const CCompareHostsDlg::NO_HOSTS = "There are no web hosts to compare.";
const char* const CCompareHostsDlg::FILE_FILTER = "PNG Images (*.png);;SVG Images (*.svg)";

CCompareHostsDlg::CCompareHostsDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Compare Hosts - Vantrel"));
    setSizeGripEnabled(true);
    auto* pLayout = new QVBoxLayout(this);
    m_pChart = new CComparisonView(m_comparison, this);
    pLayout->addWidget(m_pChart, 1);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Close);
    m_pSave = pButtons->addButton(QStringLiteral("Save Image..."), QDialogButtonBox::ActionRole);
    m_pSave->setAutoDefault(false);
    connect(m_pSave, &QPushButton::clicked, this, &CCompareHostsDlg::OnSaveImage);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pButtons);
    resize(900, 700);
}

CCompareHostsDlg::~CCompareHostsDlg() = default;

void CCompareHostsDlg::SetPlacementStore(CSettingsStore* pStore) {
    PlacementStore() = pStore;
}

void CCompareHostsDlg::SetMessageFunction(MessageFn fnMessage) {
    MessageHook() = std::move(fnMessage);
}

void CCompareHostsDlg::ShowMessage(QWidget* pOwner, const std::string& strText) {
    if (MessageHook())
        MessageHook()(pOwner, strText);
    else
        CMessageBox::Information(pOwner, QString::fromLatin1(strText.c_str()));
}

std::unique_ptr<CCompareHostsDlg> CCompareHostsDlg::Prepare(QWidget* pParent, CVantrelDoc& doc,
                                                            const std::vector<int>& arrMarked,
                                                            CWaitObserver* pWaitObserver) {
    if (doc.m_arrHosts.empty()) {
        ShowMessage(pParent, NO_HOSTS);
        return nullptr;
    }
    auto pDlg = std::make_unique<CCompareHostsDlg>(pParent);
    pDlg->m_comparison.TakeSnapshot(
        doc, CHostComparison::ChooseRows(arrMarked, doc.m_arrHosts.size()), pWaitObserver);
    // Without a readable history the window draws the ping lines of the last cycles as before.
    CHistoryStore history;
    if (history.OpenExisting(doc.GetHistoryPath()) == CHistoryStore::EOpen::OK)
        pDlg->m_comparison.ReadHistory(history, static_cast<int64_t>(time(nullptr)));
    if (CSettingsStore* pStore = PlacementStore()) {
        const std::string strGeometry = pStore->LoadWindowGeometry(PLACEMENT_NAME);
        if (!strGeometry.empty())
            pDlg->restoreGeometry(QByteArray::fromStdString(strGeometry));
    }
    return pDlg;
}

void CCompareHostsDlg::ShowForHosts(QWidget* pParent, CVantrelDoc& doc,
                                    const std::vector<int>& arrMarked,
                                    CWaitObserver* pWaitObserver) {
    if (std::unique_ptr<CCompareHostsDlg> pDlg = Prepare(pParent, doc, arrMarked, pWaitObserver))
        pDlg->exec();
}

void CCompareHostsDlg::done(int nResult) {
    if (CSettingsStore* pStore = PlacementStore())
        pStore->SaveWindowGeometry(PLACEMENT_NAME, saveGeometry().toStdString());
    QDialog::done(nResult);
}

void CCompareHostsDlg::OnSaveImage() {
    QFileDialog dlg(this);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setNameFilter(QString::fromLatin1(FILE_FILTER));
    dlg.setDefaultSuffix(QStringLiteral("png"));
    dlg.selectFile(QStringLiteral("HostsComparison.png"));
    connect(&dlg, &QFileDialog::filterSelected, &dlg, [&dlg](const QString& strFilter) {
        dlg.setDefaultSuffix(strFilter.contains(QStringLiteral("svg")) ? QStringLiteral("svg")
                                                                       : QStringLiteral("png"));
    });
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return;
    SaveImage(dlg.selectedFiles().first());
}

bool CCompareHostsDlg::SaveImage(const QString& strPath) {
    QString strError;
    if (CComparisonChart(m_comparison)
            .Save(QFile::encodeName(strPath).toStdString(), m_pChart->size(), strError))
        return true;
    ShowMessage(this, "The image could not be saved.\n" + strError.toLatin1().toStdString() + ".");
    return false;
}
