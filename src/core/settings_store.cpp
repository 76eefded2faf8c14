#include "core/settings_store.h"

#include "core/password_keyring.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* SECTION = "Settings";

QString FromLatin1(const std::string& str) {
    return QString::fromLatin1(str.data(), static_cast<qsizetype>(str.size()));
}

std::string ToLatin1(const QString& str) {
    return str.toLatin1().toStdString();
}

// Mail texts are UTF-8: a password such as "pässwört" or a name in any script survives.
QString FromUtf8(const std::string& str) {
    return QString::fromUtf8(str.data(), static_cast<qsizetype>(str.size()));
}

std::string ToUtf8(const QString& str) {
    return str.toUtf8().toStdString();
}

// Paths are in the file system's encoding, not texts.
std::string ToPath(const QString& str) {
    return QFile::encodeName(str).toStdString();
}

QString FromPath(const std::string& str) {
    return QFile::decodeName(str.c_str());
}

// The folder of the program's own file.
std::string GetProgramFolder() {
    std::string strExe(4096, '\0');
    ssize_t nLen = ::readlink("/proc/self/exe", strExe.data(), strExe.size());
    if (nLen <= 0)
        return ".";
    strExe.resize(static_cast<size_t>(nLen));
    size_t nSlash = strExe.rfind('/');
    return nSlash == 0 ? "/" : strExe.substr(0, nSlash);
}

} // namespace

CSettingsStore::CSettingsStore() : m_strFileName(GetDefaultFileName()) {}

CSettingsStore::CSettingsStore(const std::string& strFileName) : m_strFileName(strFileName) {}

std::string CSettingsStore::GetDefaultFileName() {
    // The file QSettings(NativeFormat, UserScope, "Vantrel Software", "Vantrel") uses; named
    // here so that a changed XDG_CONFIG_HOME is honoured at once.
    return ToPath(
        QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                        "/Vantrel Software/Vantrel.conf"));
}

std::string CSettingsStore::GetDefaultDataPath() {
    QString strFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (strFolder.isEmpty() || !QDir().mkpath(strFolder))
        strFolder = FromPath(GetProgramFolder());
    return ToPath(QDir::cleanPath(strFolder + "/Vantrel.dat"));
}

void CSettingsStore::MakePrivate() const {
    const QFileInfo info(FromPath(m_strFileName));
    QDir().mkpath(info.absolutePath());
    // Created owner-only, so the password is never readable by others, not even briefly.
    int nFd = ::open(m_strFileName.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (nFd >= 0)
        ::close(nFd);
    ::chmod(m_strFileName.c_str(), 0600);
}

void CSettingsStore::LoadSettings(CAppSettings& settings, std::string& strDataPath,
                                  bool bWriteBackPath) {
    QSettings store(FromPath(m_strFileName), QSettings::IniFormat);
    store.beginGroup(SECTION);
    const QString strIniPath = store.value("IniPath").toString();
    settings.m_bAlertSystem = store.value("AlertSystem", 0).toInt();
    settings.m_bAlertEmail = store.value("AlertEmail", 0).toInt();
    settings.m_bAlertBackUp = store.value("AlertBackUp", 1).toInt();
    settings.m_strEmailFrom = ToUtf8(store.value("EmailFrom").toString());
    settings.m_strEmailTo = ToUtf8(store.value("EmailTo").toString());
    settings.m_strLogin = ToUtf8(store.value("Login").toString());
    settings.m_strPass = ToUtf8(store.value("Pass").toString());
    settings.m_strSMTP = ToLatin1(store.value("SMTP").toString());
    if (m_pKeyring != nullptr && settings.m_strPass.empty()) {
        m_pKeyring->Read(settings.m_strPass);
    } else if (m_pKeyring != nullptr &&
               m_pKeyring->Write(settings.m_strPass) == CPasswordKeyring::KEYRING_OK) {
        // A password from the file (or from before the keyring) moves into the keyring.
        MakePrivate();
        store.remove("Pass");
        store.sync();
    }
    // A value edited by hand that is none of the allowed ones ("starttls", "1.0") must not
    // send the password in clear: it stays unusable, and is named, until it is mended.
    m_arrUnreadable.clear();
    auto ReadWhole = [&](const char* pszKey, int nAbsent, int nMin, int nMax, int nUnreadable) {
        const QVariant value = store.value(pszKey);
        if (!value.isValid())
            return nAbsent;
        bool bOk = false;
        const int n = value.toString().trimmed().toInt(&bOk);
        if (bOk && n >= nMin && n <= nMax)
            return n;
        m_arrUnreadable.push_back(std::string(pszKey) + "=" + ToLatin1(value.toString()));
        return nUnreadable;
    };
    settings.m_nSMTPPort = ReadWhole("SMTPPort", 25, 1, 65535, 0);
    settings.m_nSMTPSecurity = ReadWhole("SMTPSecurity", 0, 0, 2, -1);
    settings.m_nSMTPAuth = ReadWhole("SMTPAuth", 0, 0, 3, -1);
    settings.m_bAllowClearPassword = store.value("AllowPlainPassword", 0).toInt() == 1;
    settings.m_strHeloName = ToLatin1(store.value("HeloName").toString());
    // Anything but the TCP method, a damaged value included, keeps the echo.
    settings.m_nPingMethod = store.value("PingMethod", PING_METHOD_ICMP).toInt() == PING_METHOD_TCP
                                 ? PING_METHOD_TCP
                                 : PING_METHOD_ICMP;
    // A count out of its bounds, or no number at all, is the default.
    auto ReadCount = [&](const char* pszKey, int nDefault, int nMin, int nMax) {
        bool bOk = false;
        const int n = store.value(pszKey, nDefault).toInt(&bOk);
        return bOk && n >= nMin && n <= nMax ? n : nDefault;
    };
    settings.m_nConcurrentTests =
        ReadCount("ConcurrentTests", DEFAULT_CONCURRENT_TESTS, 1, MAX_CONCURRENT_TESTS);
    settings.m_nHistoryDays = ReadCount("HistoryDays", DEFAULT_HISTORY_DAYS, 1, MAX_HISTORY_DAYS);
    settings.m_bServerErrorsDown = ReadCount("ServerErrorsDown", 1, 0, 1);
    settings.m_nCertWarningDays =
        ReadCount("CertWarningDays", DEFAULT_CERT_WARNING_DAYS, 0, MAX_CERT_WARNING_DAYS);
    if (!strIniPath.isEmpty()) {
        strDataPath = ToPath(strIniPath);
        return;
    }
    strDataPath = GetDefaultDataPath();
    if (bWriteBackPath) {
        MakePrivate();
        store.setValue("IniPath", FromPath(strDataPath));
        store.sync();
        MakePrivate();
    }
}

bool CSettingsStore::SaveSettings(const CAppSettings& settings) {
    MakePrivate();
    QSettings store(FromPath(m_strFileName), QSettings::IniFormat);
    store.beginGroup(SECTION);
    store.setValue("AlertSystem", settings.m_bAlertSystem);
    store.setValue("AlertEmail", settings.m_bAlertEmail);
    store.setValue("EmailFrom", FromUtf8(settings.m_strEmailFrom));
    store.setValue("EmailTo", FromUtf8(settings.m_strEmailTo));
    store.setValue("Login", FromUtf8(settings.m_strLogin));
    const bool bInKeyring =
        m_pKeyring != nullptr &&
        (settings.m_strPass.empty()
             ? m_pKeyring->Remove() != CPasswordKeyring::KEYRING_UNAVAILABLE
             : m_pKeyring->Write(settings.m_strPass) == CPasswordKeyring::KEYRING_OK);
    if (bInKeyring)
        store.remove("Pass");
    else
        store.setValue("Pass", FromUtf8(settings.m_strPass));
    store.setValue("SMTP", FromLatin1(settings.m_strSMTP));
    store.setValue("SMTPPort", settings.m_nSMTPPort);
    store.setValue("SMTPSecurity", settings.m_nSMTPSecurity);
    store.setValue("PingMethod", settings.m_nPingMethod);
    store.setValue("SMTPAuth", settings.m_nSMTPAuth);
    store.setValue("AllowPlainPassword", settings.m_bAllowClearPassword);
    store.setValue("HeloName", FromLatin1(settings.m_strHeloName));
    store.setValue("AlertBackUp", settings.m_bAlertBackUp);
    store.setValue("ConcurrentTests", settings.m_nConcurrentTests);
    store.setValue("HistoryDays", settings.m_nHistoryDays);
    store.setValue("ServerErrorsDown", settings.m_bServerErrorsDown);
    store.setValue("CertWarningDays", settings.m_nCertWarningDays);
    store.endGroup();
    store.sync();
    MakePrivate();
    return store.status() == QSettings::NoError;
}

std::string CSettingsStore::LoadWindowGeometry(const std::string& strName) const {
    QSettings store(FromPath(m_strFileName), QSettings::IniFormat);
    return store.value(QString::fromStdString("Window/" + strName)).toByteArray().toStdString();
}

std::string CSettingsStore::LoadReportWeights() const {
    QSettings store(FromPath(m_strFileName), QSettings::IniFormat);
    return store.value(QStringLiteral("Report/Weights")).toString().toStdString();
}

bool CSettingsStore::SaveReportWeights(const std::string& strWeights) {
    MakePrivate();
    QSettings store(FromPath(m_strFileName), QSettings::IniFormat);
    store.setValue(QStringLiteral("Report/Weights"), QString::fromStdString(strWeights));
    store.sync();
    MakePrivate();
    return store.status() == QSettings::NoError;
}

bool CSettingsStore::SaveWindowGeometry(const std::string& strName,
                                        const std::string& strGeometry) {
    MakePrivate();
    QSettings store(FromPath(m_strFileName), QSettings::IniFormat);
    store.setValue(QString::fromStdString("Window/" + strName),
                   QByteArray::fromStdString(strGeometry));
    store.sync();
    MakePrivate();
    return store.status() == QSettings::NoError;
}
