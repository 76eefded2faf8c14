#include "ui/options_dlg.h"

#include "core/vantrel_doc.h"
#include "platform/event.h"
#include "testing/alert_mail_trial.h"
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
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <mutex>
#include <thread>

namespace {

QString Latin1(const std::string& str) {
    return QString::fromLatin1(str);
}

// The mail addresses and the login are UTF-8.
QString Utf8(const std::string& str) {
    return QString::fromUtf8(str);
}

std::string ToUtf8(const QLineEdit* pEdit) {
    return pEdit->text().toUtf8().toStdString();
}

constexpr int DEFAULT_SMTP_PORT = 25;
// The usual port of each security choice, proposed while the port is one of them.
constexpr int SECURITY_PORTS[] = {DEFAULT_SMTP_PORT, 587, 465};

} // namespace

COptionsDlg::COptionsDlg(QWidget* pParent, CWaitObserver* pWait)
    : QDialog(pParent), m_pWait(pWait) {
    setWindowTitle(QStringLiteral("Options - Vantrel"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    // 282 x 227 dialog units of the 8-point dialog font, and three rows for the login.
    resize(423, 459);

    // The parts are made top to bottom: the order of making is the order of the Tab key.
    auto* pLayout = new QVBoxLayout(this);
    AddHeading(*pLayout);
    AddAlertChoices(*pLayout);
    AddSettingsGrid(*pLayout);
    pLayout->addStretch(1);
    AddButtons(*pLayout);
}

void COptionsDlg::AddHeading(QVBoxLayout& layout) {
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

    auto* pTop = new QHBoxLayout;
    pTop->addWidget(pTitle, 1, Qt::AlignBottom);
    pTop->addWidget(pLogo, 0, Qt::AlignTop);
    layout.addLayout(pTop);
    layout.addWidget(pHeading);
}

void COptionsDlg::AddAlertChoices(QVBoxLayout& layout) {
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
    m_pAlertBackUp = new QCheckBox(QStringLiteral("Also tell me when a host is back up"), this);
    m_pAlertBackUp->setObjectName(QStringLiteral("AlertBackUp"));

    layout.addWidget(m_pAlertSystem);
    auto* pEmailRow = new QHBoxLayout;
    pEmailRow->addWidget(m_pAlertEmail, 0, Qt::AlignTop);
    pEmailRow->addWidget(m_pAlertEmailText, 1);
    layout.addLayout(pEmailRow);
    // The new settings share rows with others: at twice the scale the dialog has to fit in
    // 500 pixels.
    auto* pBackUpRow = new QHBoxLayout;
    pBackUpRow->addWidget(m_pAlertBackUp);
    pBackUpRow->addSpacing(16);
    m_pServerErrorsDown =
        new QCheckBox(QStringLiteral("Count server errors (HTTP 5xx) as down"), this);
    m_pServerErrorsDown->setObjectName(QStringLiteral("ServerErrorsDown"));
    pBackUpRow->addWidget(m_pServerErrorsDown);
    pBackUpRow->addStretch(1);
    layout.addLayout(pBackUpRow);
}

QSpinBox* COptionsDlg::AddDays(QHBoxLayout& row, const char* pszName, const char* pszLabel,
                               int nMin, int nMax) {
    auto* pSpin = new QSpinBox(this);
    pSpin->setObjectName(QString::fromLatin1(pszName));
    pSpin->setRange(nMin, nMax);
    pSpin->setFixedWidth(70);
    row.addWidget(new QLabel(QString::fromLatin1(pszLabel), this));
    row.addWidget(pSpin);
    row.addWidget(new QLabel(QStringLiteral("days"), this));
    return pSpin;
}

// The mail details, the test interval and the ping method, each after its label.
void COptionsDlg::AddSettingsGrid(QVBoxLayout& layout) {
    m_pEmailTo = AddEdit("ctl1015");
    m_pSMTP = AddEdit("ctl1016");
    m_pEmailFrom = AddEdit("ctl1017");
    m_pLogin = AddEdit("ctl1069");
    m_pPass = AddEdit("ctl1070");
    m_pPass->setEchoMode(QLineEdit::Password);
    m_pLoginMethod = new QComboBox(this);
    m_pLoginMethod->setObjectName(QStringLiteral("SMTPAuth"));
    // Item index = the setting's value.
    m_pLoginMethod->addItems({QStringLiteral("Automatic"), QStringLiteral("PLAIN"),
                              QStringLiteral("LOGIN"), QStringLiteral("CRAM-MD5")});
    m_pAllowClearPassword =
        new QCheckBox(QStringLiteral("Allow the password over an unencrypted connection"), this);
    m_pAllowClearPassword->setObjectName(QStringLiteral("AllowPlainPassword"));
    m_pHeloName = AddEdit("HeloName");
    m_pHeloName->setPlaceholderText(QStringLiteral("this computer's name"));
    m_pSecurity = new QComboBox(this);
    m_pSecurity->setObjectName(QStringLiteral("ctl1201"));
    m_pSecurity->addItems(
        {QStringLiteral("None"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")});
    m_pPort = new QSpinBox(this);
    m_pPort->setObjectName(QStringLiteral("ctl1202"));
    m_pPort->setRange(1, 65535);
    m_pPort->setFixedWidth(70);
    connect(m_pSecurity, &QComboBox::currentIndexChanged, this, &COptionsDlg::OnSecurityChanged);
    auto* pSecurityRow = new QWidget(this);
    auto* pSecurityLayout = new QHBoxLayout(pSecurityRow);
    pSecurityLayout->setContentsMargins(0, 0, 0, 0);
    pSecurityLayout->addWidget(m_pSecurity);
    pSecurityLayout->addWidget(new QLabel(QStringLiteral("Port"), pSecurityRow));
    pSecurityLayout->addWidget(m_pPort);
    pSecurityLayout->addStretch(1);
    m_pInterval = new QSpinBox(this);
    m_pInterval->setObjectName(QStringLiteral("ctl1085"));
    m_pInterval->setRange(MIN_INTERVAL, MAX_INTERVAL);
    m_pInterval->setWrapping(true);
    m_pInterval->setFixedWidth(60);

    auto* pGrid = new QGridLayout;
    const std::pair<const char*, QWidget*> rows[] = {
        {"Alert Email Address", m_pEmailTo}, {"SMTP Server", m_pSMTP},
        {"Security", pSecurityRow},          {"<From> Address", m_pEmailFrom},
        {"Login Username", m_pLogin},        {"Login Password", m_pPass},
        {"Login Method", m_pLoginMethod},    {"", m_pAllowClearPassword},
        {"HELO Name", m_pHeloName},
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
    pIntervalRow->addSpacing(16);
    m_pHistoryDays = AddDays(*pIntervalRow, "HistoryDays", "Keep history", 1, MAX_HISTORY_DAYS);
    pIntervalRow->addSpacing(16);
    m_pCertWarningDays =
        AddDays(*pIntervalRow, "CertWarningDays", "Certificate notice", 0, MAX_CERT_WARNING_DAYS);
    m_pCertWarningDays->setSpecialValueText(QStringLiteral("never"));
    pIntervalRow->addWidget(new QLabel(QStringLiteral("ahead"), this));
    pIntervalRow->addStretch(1);
    pGrid->addLayout(pIntervalRow, nRow++, 1);
    m_pPingMethod = new QComboBox(this);
    m_pPingMethod->setObjectName(QStringLiteral("PingMethod"));
    // Item index = PING_METHOD_ value.
    m_pPingMethod->addItems(
        {QStringLiteral("ICMP echo"), QStringLiteral("TCP connect to the test URL")});
    pGrid->addWidget(new QLabel(QStringLiteral("Measure ping time by"), this), nRow, 0);
    pGrid->addWidget(m_pPingMethod, nRow++, 1, 1, 2);
    layout.addLayout(pGrid);
    m_pUnreadable = new QLabel(this);
    m_pUnreadable->setObjectName(QStringLiteral("unreadableSettings"));
    m_pUnreadable->setTextFormat(Qt::PlainText);
    m_pUnreadable->setWordWrap(true);
    m_pUnreadable->hide();
    layout.addWidget(m_pUnreadable);
}

void COptionsDlg::AddButtons(QVBoxLayout& layout) {
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    pButtons->button(QDialogButtonBox::Ok)->setDefault(true);
    m_pSendTest = new QPushButton(QStringLiteral("Send test e-mail"), this);
    m_pSendTest->setObjectName(QStringLiteral("ctl1203"));
    m_pSendTest->setAutoDefault(false);
    connect(m_pSendTest, &QPushButton::clicked, this, &COptionsDlg::OnSendTestMail);
    connect(pButtons, &QDialogButtonBox::accepted, this, &COptionsDlg::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &COptionsDlg::reject);
    auto* pButtonRow = new QHBoxLayout;
    pButtonRow->addWidget(m_pSendTest);
    pButtonRow->addWidget(pButtons, 1);
    layout.addLayout(pButtonRow);
}

// The dialog reports to the thread's run only while it is there and waiting for it; the
// thread reports back only while the dialog still waits. Neither waits for the other.
struct COptionsDlg::STestMailRun {
    std::mutex m_mtx;
    COptionsDlg* m_pDlg = nullptr; // null once the dialog has let the run go
    CEvent m_evStop;
};

COptionsDlg::~COptionsDlg() {
    CancelTestMail();
}

void COptionsDlg::CancelTestMail() {
    if (!m_pTestRun)
        return;
    m_pTestRun->m_evStop.Set();
    {
        std::lock_guard lock(m_pTestRun->m_mtx);
        m_pTestRun->m_pDlg = nullptr;
    }
    m_pTestRun.reset();
    m_pSendTest->setText(QStringLiteral("Send test e-mail"));
}

QLineEdit* COptionsDlg::AddEdit(const char* pszName) {
    auto* pEdit = new QLineEdit(this);
    pEdit->setObjectName(QString::fromLatin1(pszName));
    return pEdit;
}

void COptionsDlg::OnInitDialog() {
    // Read without the lock: only this thread writes these values.
    m_pInterval->setValue(static_cast<int16_t>(m_pDoc->m_nIntervalMinutes.load() & 0xFFFF));
    m_pEmailTo->setText(Utf8(m_pDoc->m_settings.m_strEmailTo));
    m_pEmailFrom->setText(Utf8(m_pDoc->m_settings.m_strEmailFrom));
    m_pSMTP->setText(Latin1(m_pDoc->m_settings.m_strSMTP));
    m_pLogin->setText(Utf8(m_pDoc->m_settings.m_strLogin));
    m_pPass->setText(Utf8(m_pDoc->m_settings.m_strPass));
    m_pLoginMethod->setCurrentIndex(m_pDoc->m_settings.m_nSMTPAuth);
    m_pAllowClearPassword->setChecked(m_pDoc->m_settings.m_bAllowClearPassword != 0);
    m_pHeloName->setText(Latin1(m_pDoc->m_settings.m_strHeloName));
    {
        const QSignalBlocker blocker(m_pSecurity); // the saved port stays as it is
        m_pSecurity->setCurrentIndex(m_pDoc->m_settings.m_nSMTPSecurity);
    }
    // A hand-edited value that could not be read shows as unset, never as a weaker choice, and
    // stays unset on OK until the user picks one: the alert e-mail is refused until then.
    const bool bNoPort = m_pDoc->m_settings.m_nSMTPPort == 0;
    m_pPort->setMinimum(bNoPort ? 0 : 1);
    m_pPort->setSpecialValueText(bNoPort ? QStringLiteral(" ") : QString());
    m_pPort->setValue(m_pDoc->m_settings.m_nSMTPPort);
    QStringList arrKeys;
    for (const auto& [pszKey, bUnread] :
         {std::pair{"SMTPPort", bNoPort},
          std::pair{"SMTPSecurity", m_pSecurity->currentIndex() < 0},
          std::pair{"SMTPAuth", m_pLoginMethod->currentIndex() < 0}})
        if (bUnread)
            arrKeys << QString::fromLatin1(pszKey);
    const bool bAnyUnread = !arrKeys.isEmpty();
    if (bAnyUnread) {
        const QString strLast = arrKeys.takeLast();
        m_pUnreadable->setText(
            QStringLiteral("The settings file holds a value that is not allowed for ") +
            (arrKeys.isEmpty() ? strLast : arrKeys.join(QStringLiteral(", ")) + " and " + strLast) +
            QStringLiteral(". No alert e-mail is sent until it is chosen here."));
    }
    m_pUnreadable->setVisible(bAnyUnread);
    m_pAlertEmail->setChecked(m_pDoc->m_settings.m_bAlertEmail != 0);
    m_pAlertSystem->setChecked(m_pDoc->m_settings.m_bAlertSystem != 0);
    m_pAlertBackUp->setChecked(m_pDoc->m_settings.m_bAlertBackUp != 0);
    m_pPingMethod->setCurrentIndex(m_pDoc->m_nPingMethod == PING_METHOD_TCP ? 1 : 0);
    m_pServerErrorsDown->setChecked(m_pDoc->m_settings.m_bServerErrorsDown != 0);
    m_pCertWarningDays->setValue(m_pDoc->m_settings.m_nCertWarningDays);
    m_pHistoryDays->setValue(m_pDoc->m_settings.m_nHistoryDays);
}

int COptionsDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void COptionsDlg::accept() {
    CWaiter(m_pWait).Lock(m_pDoc->m_mtxSettings);
    m_pDoc->m_settings.m_strEmailTo = ToUtf8(m_pEmailTo);
    m_pDoc->m_settings.m_strEmailFrom = ToUtf8(m_pEmailFrom);
    m_pDoc->m_settings.m_strSMTP = m_pSMTP->text().toLatin1().toStdString();
    m_pDoc->m_settings.m_strLogin = ToUtf8(m_pLogin);
    m_pDoc->m_settings.m_strPass = ToUtf8(m_pPass);
    m_pDoc->m_settings.m_nSMTPAuth = m_pLoginMethod->currentIndex();
    m_pDoc->m_settings.m_bAllowClearPassword = m_pAllowClearPassword->isChecked() ? 1 : 0;
    m_pDoc->m_settings.m_strHeloName = m_pHeloName->text().toLatin1().toStdString();
    m_pPort->interpretText();
    m_pDoc->m_settings.m_nSMTPPort = m_pPort->value();
    m_pDoc->m_settings.m_nSMTPSecurity = m_pSecurity->currentIndex();
    m_pDoc->m_settings.m_bAlertEmail = m_pAlertEmail->isChecked() ? 1 : 0;
    m_pDoc->m_settings.m_bAlertSystem = m_pAlertSystem->isChecked() ? 1 : 0;
    m_pDoc->m_settings.m_bAlertBackUp = m_pAlertBackUp->isChecked() ? 1 : 0;
    m_pDoc->m_settings.m_bServerErrorsDown = m_pServerErrorsDown->isChecked() ? 1 : 0;
    m_pCertWarningDays->interpretText();
    m_pDoc->m_settings.m_nCertWarningDays = m_pCertWarningDays->value();
    m_pHistoryDays->interpretText();
    m_pDoc->m_settings.m_nHistoryDays = m_pHistoryDays->value();
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

void COptionsDlg::OnSecurityChanged(int nSecurity) {
    // A port the user chose stays; a usual one follows the choice.
    if (nSecurity >= 0 &&
        (m_pPort->value() == 0 ||
         std::ranges::find(SECURITY_PORTS, m_pPort->value()) != std::end(SECURITY_PORTS)))
        m_pPort->setValue(SECURITY_PORTS[nSecurity]);
}

void COptionsDlg::OnSendTestMail() {
    if (m_pTestRun) {
        CancelTestMail();
        return;
    }
    CAppSettings settings;
    settings.m_strSMTP = m_pSMTP->text().toLatin1().toStdString();
    m_pPort->interpretText();
    settings.m_nSMTPPort = m_pPort->value();
    settings.m_nSMTPSecurity = m_pSecurity->currentIndex();
    settings.m_strLogin = ToUtf8(m_pLogin);
    settings.m_strPass = ToUtf8(m_pPass);
    settings.m_strEmailFrom = ToUtf8(m_pEmailFrom);
    settings.m_strEmailTo = ToUtf8(m_pEmailTo);
    settings.m_nSMTPAuth = m_pLoginMethod->currentIndex();
    settings.m_bAllowClearPassword = m_pAllowClearPassword->isChecked() ? 1 : 0;
    settings.m_strHeloName = m_pHeloName->text().toLatin1().toStdString();
    m_pSendTest->setText(QStringLiteral("Cancel test e-mail"));
    m_pTestRun = std::make_shared<STestMailRun>();
    m_pTestRun->m_pDlg = this;
    std::thread([pRun = m_pTestRun, settings] {
        CAlertMailTrial test(settings, "www.example.com");
        std::string strExchange;
        test.Run([&strExchange](const std::string& strLine) { strExchange += strLine + '\n'; },
                 pRun->m_evStop);
        // Under the lock the dialog cannot go away between the test and the post; a dialog
        // deleted later drops the queued call.
        std::lock_guard lock(pRun->m_mtx);
        if (pRun->m_pDlg != nullptr)
            QMetaObject::invokeMethod(
                pRun->m_pDlg,
                [pDlg = pRun->m_pDlg, pId = pRun.get(), strExchange = Utf8(strExchange),
                 strOutcome = Utf8(test.GetOutcomeText())] {
                    pDlg->ShowTestResult(pId, strExchange, strOutcome);
                },
                Qt::QueuedConnection);
    }).detach();
}

void COptionsDlg::ShowTestResult(const void* pRun, const QString& strExchange,
                                 const QString& strOutcome) {
    if (pRun != m_pTestRun.get())
        return; // a run cancelled after it had reported
    m_pTestRun.reset();
    m_pSendTest->setText(QStringLiteral("Send test e-mail"));
    auto* pResult = new QDialog(this);
    pResult->setObjectName(QStringLiteral("testMailResult"));
    pResult->setWindowTitle(QStringLiteral("Test e-mail - Vantrel"));
    pResult->setAttribute(Qt::WA_DeleteOnClose);
    pResult->resize(520, 360);
    auto* pOutcome = new QLabel(strOutcome, pResult);
    pOutcome->setObjectName(QStringLiteral("outcome"));
    pOutcome->setTextFormat(Qt::PlainText);
    pOutcome->setWordWrap(true);
    auto* pExchange = new QPlainTextEdit(strExchange, pResult);
    pExchange->setObjectName(QStringLiteral("exchange"));
    pExchange->setReadOnly(true);
    pExchange->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* pClose = new QDialogButtonBox(QDialogButtonBox::Close, pResult);
    connect(pClose, &QDialogButtonBox::rejected, pResult, &QDialog::reject);
    auto* pLayout = new QVBoxLayout(pResult);
    pLayout->addWidget(pOutcome);
    pLayout->addWidget(pExchange, 1);
    pLayout->addWidget(pClose);
    pResult->show();
}
