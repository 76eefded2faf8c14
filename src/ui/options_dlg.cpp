#include "ui/options_dlg.h"

#include "core/vantrel_doc.h"
#include "testing/test_commands.h"
#include "testing/waiter.h"
#include "widgets/artwork.h"
#include "widgets/masked_picture.h"
#include "widgets/styled_label.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QString Latin1(const std::string& str) {
    return QString::fromLatin1(str);
}

} // namespace

COptionsDlg::COptionsDlg(QWidget* pParent, CWaitObserver* pWait)
    : QDialog(pParent), m_pWait(pWait) {
    setWindowTitle(QStringLiteral("Vantrel Options"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    // 282 x 227 dialog units of the 8-point dialog font.
    resize(423, 369);

    auto* pTitle = new CStyledLabel(QStringLiteral("Options"), this);
    pTitle->setObjectName(QStringLiteral("ctl1066"));
    pTitle->SetFace(QStringLiteral("Verdana")).SetCharHeight(20);
    auto* pLogo = new CMaskedPicture(this);
    pLogo->setObjectName(QStringLiteral("ctl1060"));
    pLogo->SetBitmap(CArtwork::Logo());
    pLogo->setFixedSize(CArtwork::Logo().size());
    auto* pHeading = new CStyledLabel(QStringLiteral("Send error messages"), this);
    pHeading->setObjectName(QStringLiteral("ctl1067"));
    pHeading->SetFace(QStringLiteral("Verdana")).SetCharHeight(18);

    m_pAlertSystem = new QCheckBox(QStringLiteral("System alert message"), this);
    m_pAlertSystem->setObjectName(QStringLiteral("ctl1003"));
    // A tick box whose text runs over two lines: the text is a label that ticks the box.
    m_pAlertEmail = new QCheckBox(this);
    m_pAlertEmail->setObjectName(QStringLiteral("ctl1068"));
    m_pAlertEmailText = new QLabel(
        QStringLiteral("Email alert message (This will send an email to you. You must fill out "
                       "the details below if you want to enable this)"),
        this);
    m_pAlertEmailText->setWordWrap(true);
    m_pAlertEmailText->setTextFormat(Qt::PlainText);
    m_pAlertEmailText->installEventFilter(this);

    m_pEmailTo = AddEdit("ctl1015");
    m_pSMTP = AddEdit("ctl1016");
    m_pEmailFrom = AddEdit("ctl1017");
    m_pLogin = AddEdit("ctl1069");
    m_pPass = AddEdit("ctl1070");
    m_pInterval = new QSpinBox(this);
    m_pInterval->setObjectName(QStringLiteral("ctl1085"));
    m_pInterval->setRange(MIN_INTERVAL, MAX_INTERVAL);
    m_pInterval->setWrapping(true);
    m_pInterval->setFixedWidth(60);

    auto* pLayout = new QVBoxLayout(this);
    auto* pTop = new QHBoxLayout;
    pTop->addWidget(pTitle, 1, Qt::AlignBottom);
    pTop->addWidget(pLogo, 0, Qt::AlignTop);
    pLayout->addLayout(pTop);
    pLayout->addWidget(pHeading);
    pLayout->addWidget(m_pAlertSystem);
    auto* pEmailRow = new QHBoxLayout;
    pEmailRow->addWidget(m_pAlertEmail, 0, Qt::AlignTop);
    pEmailRow->addWidget(m_pAlertEmailText, 1);
    pLayout->addLayout(pEmailRow);

    auto* pGrid = new QGridLayout;
    const std::pair<const char*, QWidget*> rows[] = {
        {"Alert Email Address", m_pEmailTo}, {"SMTP Server", m_pSMTP},
        {"<From> Address", m_pEmailFrom},    {"Login Username", m_pLogin},
        {"Login Password", m_pPass},
    };
    int nRow = 0;
    for (const auto& [pszLabel, pEdit] : rows) {
        auto* pLabel = new QLabel(QString::fromLatin1(pszLabel), this);
        pLabel->setTextFormat(Qt::PlainText);
        pGrid->addWidget(pLabel, nRow, 0);
        pGrid->addWidget(pEdit, nRow++, 1, 1, 2);
    }
    pGrid->addWidget(new QLabel(QStringLiteral("Test Hosts Every"), this), nRow, 0);
    auto* pIntervalRow = new QHBoxLayout;
    pIntervalRow->addWidget(m_pInterval);
    pIntervalRow->addWidget(new QLabel(QStringLiteral("min"), this));
    pIntervalRow->addStretch(1);
    pGrid->addLayout(pIntervalRow, nRow++, 1);
    m_pPingMethod = new QComboBox(this);
    m_pPingMethod->setObjectName(QStringLiteral("PingMethod"));
    // Item index = PING_METHOD_ value.
    m_pPingMethod->addItems(
        {QStringLiteral("ICMP echo"), QStringLiteral("TCP connect to the test URL")});
    pGrid->addWidget(new QLabel(QStringLiteral("Measure ping time by"), this), nRow, 0);
    pGrid->addWidget(m_pPingMethod, nRow, 1, 1, 2);
    pLayout->addLayout(pGrid);
    pLayout->addStretch(1);

    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    pButtons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(pButtons, &QDialogButtonBox::accepted, this, &COptionsDlg::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &COptionsDlg::reject);
    pLayout->addWidget(pButtons);
}

QLineEdit* COptionsDlg::AddEdit(const char* pszName) {
    auto* pEdit = new QLineEdit(this);
    pEdit->setObjectName(QString::fromLatin1(pszName));
    return pEdit;
}

void COptionsDlg::OnInitDialog() {
    // Read without the lock: only this thread writes these values.
    m_pInterval->setValue(static_cast<int16_t>(m_pDoc->m_nIntervalMinutes.load() & 0xFFFF));
    m_pEmailTo->setText(Latin1(m_pDoc->m_strEmailTo));
    m_pEmailFrom->setText(Latin1(m_pDoc->m_strEmailFrom));
    m_pSMTP->setText(Latin1(m_pDoc->m_strSMTP));
    m_pLogin->setText(Latin1(m_pDoc->m_strLogin));
    m_pPass->setText(Latin1(m_pDoc->m_strPass));
    m_pAlertEmail->setChecked(m_pDoc->m_bAlertEmail != 0);
    m_pAlertSystem->setChecked(m_pDoc->m_bAlertSystem != 0);
    m_pPingMethod->setCurrentIndex(m_pDoc->m_nPingMethod == PING_METHOD_TCP ? 1 : 0);
}

int COptionsDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void COptionsDlg::accept() {
    CWaiter(m_pWait).Lock(m_pDoc->m_mtxSettings);
    m_pDoc->m_strEmailTo = m_pEmailTo->text().toLatin1().toStdString();
    m_pDoc->m_strEmailFrom = m_pEmailFrom->text().toLatin1().toStdString();
    m_pDoc->m_strSMTP = m_pSMTP->text().toLatin1().toStdString();
    m_pDoc->m_strLogin = m_pLogin->text().toLatin1().toStdString();
    m_pDoc->m_strPass = m_pPass->text().toLatin1().toStdString();
    m_pDoc->m_bAlertEmail = m_pAlertEmail->isChecked() ? 1 : 0;
    m_pDoc->m_bAlertSystem = m_pAlertSystem->isChecked() ? 1 : 0;
    m_pInterval->interpretText();
    const bool bIntervalChanged =
        m_pDoc->m_nIntervalMinutes.exchange(m_pInterval->value()) != m_pInterval->value();
    m_pDoc->m_nPingMethod = m_pPingMethod->currentIndex() == 1 ? PING_METHOD_TCP : PING_METHOD_ICMP;
    m_pDoc->m_mtxSettings.unlock();
    // A shorter interval shortens the wait in progress.
    m_pDoc->m_hWakeEvent.Set();
    // The interval lives in the data file: write it now, not at the end of the next cycle.
    if (bIntervalChanged)
        SaveHostsNow(*m_pDoc, m_pWait);
    QDialog::accept();
}

bool COptionsDlg::eventFilter(QObject* pObject, QEvent* pEvent) {
    if (pObject == m_pAlertEmailText && pEvent->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(pEvent)->button() == Qt::LeftButton) {
        m_pAlertEmail->toggle();
        return true;
    }
    return QDialog::eventFilter(pObject, pEvent);
}
