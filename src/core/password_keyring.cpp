#include "core/password_keyring.h"

#include <QEventLoop>
#include <qt6keychain/keychain.h>

namespace {

const QString PASSWORD_KEY = QStringLiteral("SMTP password");

// Starts the job and waits for its end.
CPasswordKeyring::EResult Run(QKeychain::Job& job, std::string& strError) {
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.start();
    loop.exec();
    strError = job.errorString().toStdString();
    switch (job.error()) {
    case QKeychain::NoError:
        strError.clear();
        return CPasswordKeyring::KEYRING_OK;
    case QKeychain::EntryNotFound:
        return CPasswordKeyring::KEYRING_NOT_FOUND;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return CPasswordKeyring::KEYRING_UNAVAILABLE;
    default:
        return CPasswordKeyring::KEYRING_FAILED;
    }
}

} // namespace

CPasswordKeyring::CPasswordKeyring(std::string strService) : m_strService(std::move(strService)) {}

CPasswordKeyring::EResult CPasswordKeyring::Read(std::string& strPassword) {
    QKeychain::ReadPasswordJob job(QString::fromStdString(m_strService));
    job.setKey(PASSWORD_KEY);
    const EResult eResult = Run(job, m_strError);
    strPassword = eResult == KEYRING_OK ? job.textData().toStdString() : std::string();
    return eResult;
}

CPasswordKeyring::EResult CPasswordKeyring::Write(const std::string& strPassword) {
    QKeychain::WritePasswordJob job(QString::fromStdString(m_strService));
    job.setKey(PASSWORD_KEY);
    job.setTextData(QString::fromStdString(strPassword));
    return Run(job, m_strError);
}

CPasswordKeyring::EResult CPasswordKeyring::Remove() {
    QKeychain::DeletePasswordJob job(QString::fromStdString(m_strService));
    job.setKey(PASSWORD_KEY);
    return Run(job, m_strError);
}
