#include "core/settings_store.h"

#include "core/atomic_file.h"
#include "core/password_keyring.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
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

// A stored path keeps its bytes: a path in UTF-8 is stored as the text it is, any other as
// bytes ("@ByteArray(caf\xe9.dat)"), which a text would turn into U+FFFD.
QVariant StoredPath(const std::string& strPath) {
    const QByteArray bytes = QByteArray::fromStdString(strPath);
    const QString str = QString::fromUtf8(bytes);
    return str.toUtf8() == bytes ? QVariant(str) : QVariant(bytes);
}

std::string ReadPath(const QVariant& value) {
    return value.typeId() == QMetaType::QByteArray ? value.toByteArray().toStdString()
                                                   : value.toString().toUtf8().toStdString();
}

// QSettings works on a copy of the settings file in a private folder of its own, so it never
// writes or follows anything where the user's file lives: the file is read through a
// descriptor that refuses devices, FIFOs and links planted by others, and replaced as a whole,
// owner-only, by CAtomicFile. The INI bytes are QSettings' own, as they always were.
class CSettingsCopy {
public:
    explicit CSettingsCopy(const std::string& strFile) : m_strFile(strFile) {
        const QString strCopy = m_dir.filePath(QStringLiteral("Vantrel.conf"));
        std::string strBytes;
        m_bRead = m_dir.isValid() && ReadOriginal(strBytes);
        if (m_bRead && !strBytes.empty()) {
            QFile copy(strCopy);
            m_bRead = copy.open(QIODevice::WriteOnly) &&
                      copy.write(strBytes.data(), static_cast<qint64>(strBytes.size())) ==
                          static_cast<qint64>(strBytes.size());
        }
        m_pSettings = std::make_unique<QSettings>(strCopy, QSettings::IniFormat);
    }
    QSettings& operator*() { return *m_pSettings; }
    QSettings* operator->() { return m_pSettings.get(); }

    // Writes the settings over the user's file. False when it could not be written, or when
    // the file was there but could not be read (what it holds must not be lost).
    bool Commit() {
        m_pSettings->sync();
        if (!m_bRead || m_pSettings->status() != QSettings::NoError)
            return false;
        QFile copy(m_pSettings->fileName());
        const QByteArray bytes = copy.open(QIODevice::ReadOnly) ? copy.readAll() : QByteArray();
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(m_strFile).parent_path(), error);
        CAtomicFile file;
        // Owner-only even over a file that was readable by others: it holds the password.
        return file.Open(m_strFile) && ::fchmod(file.GetFd(), 0600) == 0 &&
               file.Write(bytes.constData(), static_cast<size_t>(bytes.size())) && file.Commit();
    }

private:
    bool ReadOriginal(std::string& strBytes) const {
        std::string strTarget, strReason;
        if (!CAtomicFile::ResolveLinks(m_strFile, strTarget, strReason))
            return false;
        // A device is not even opened; non-blocking, as a FIFO would wait for a writer for ever.
        struct stat st;
        if (::lstat(strTarget.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            return false;
        const int nFd = ::open(strTarget.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (nFd < 0)
            return errno == ENOENT;
        bool bOk = ::fstat(nFd, &st) == 0 && S_ISREG(st.st_mode);
        char arrBuffer[65536];
        for (ssize_t nRead = 1; bOk && nRead > 0;) {
            nRead = ::read(nFd, arrBuffer, sizeof(arrBuffer));
            if (nRead < 0 && errno == EINTR)
                continue;
            bOk = nRead >= 0;
            if (nRead > 0)
                strBytes.append(arrBuffer, static_cast<size_t>(nRead));
        }
        ::close(nFd);
        return bOk;
    }

    const std::string m_strFile;
    QTemporaryDir m_dir; // mode 0700, removed with its copy
    bool m_bRead = false;
    std::unique_ptr<QSettings> m_pSettings;
};

// The user's folder as bytes from the environment (a name that is not UTF-8 stays as it is):
// pszVariable when it is an absolute path, else HOME plus pszUnderHome; Qt's choice when
// neither is set. No trailing slash.
std::string GetUserFolder(const char* pszVariable, const char* pszUnderHome,
                          QStandardPaths::StandardLocation eLocation) {
    std::string strFolder;
    const char* pszValue = std::getenv(pszVariable);
    const char* pszHome = std::getenv("HOME");
    if (pszValue && pszValue[0] == '/')
        strFolder = pszValue;
    else if (pszHome && pszHome[0] == '/')
        strFolder = std::string(pszHome) + pszUnderHome;
    else
        strFolder = ToPath(QStandardPaths::writableLocation(eLocation));
    while (strFolder.size() > 1 && strFolder.back() == '/')
        strFolder.pop_back();
    return strFolder;
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
    return GetUserFolder("XDG_CONFIG_HOME", "/.config", QStandardPaths::GenericConfigLocation) +
           "/Vantrel Software/Vantrel.conf";
}

std::string CSettingsStore::GetDefaultDataPath() {
    std::string strFolder =
        GetUserFolder("XDG_DATA_HOME", "/.local/share", QStandardPaths::GenericDataLocation);
    std::error_code error;
    std::filesystem::create_directories(strFolder, error);
    if (strFolder.empty() || !std::filesystem::is_directory(strFolder, error))
        strFolder = GetProgramFolder();
    return (strFolder == "/" ? "" : strFolder) + "/Vantrel.dat";
}

void CSettingsStore::LoadSettings(CAppSettings& settings, std::string& strDataPath,
                                  bool bWriteBackPath) {
    CSettingsCopy copy(m_strFileName);
    QSettings& store = *copy;
    store.beginGroup(SECTION);
    const std::string strIniPath = ReadPath(store.value("IniPath"));
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
        store.remove("Pass");
        copy.Commit();
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
    if (!strIniPath.empty()) {
        strDataPath = strIniPath;
        return;
    }
    strDataPath = GetDefaultDataPath();
    if (bWriteBackPath) {
        store.setValue("IniPath", StoredPath(strDataPath));
        copy.Commit();
    }
}

bool CSettingsStore::SaveSettings(const CAppSettings& settings) {
    CSettingsCopy copy(m_strFileName);
    QSettings& store = *copy;
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
    // A hand-edited value nobody has mended yet stays as written: it still names what is wrong.
    if (settings.m_nSMTPPort != 0)
        store.setValue("SMTPPort", settings.m_nSMTPPort);
    if (settings.m_nSMTPSecurity >= 0)
        store.setValue("SMTPSecurity", settings.m_nSMTPSecurity);
    store.setValue("PingMethod", settings.m_nPingMethod);
    if (settings.m_nSMTPAuth >= 0)
        store.setValue("SMTPAuth", settings.m_nSMTPAuth);
    store.setValue("AllowPlainPassword", settings.m_bAllowClearPassword);
    store.setValue("HeloName", FromLatin1(settings.m_strHeloName));
    store.setValue("AlertBackUp", settings.m_bAlertBackUp);
    store.setValue("ConcurrentTests", settings.m_nConcurrentTests);
    store.setValue("HistoryDays", settings.m_nHistoryDays);
    store.setValue("ServerErrorsDown", settings.m_bServerErrorsDown);
    store.setValue("CertWarningDays", settings.m_nCertWarningDays);
    store.endGroup();
    return copy.Commit();
}

std::string CSettingsStore::LoadWindowGeometry(const std::string& strName) const {
    CSettingsCopy store(m_strFileName);
    return store->value(QString::fromStdString("Window/" + strName)).toByteArray().toStdString();
}

std::string CSettingsStore::LoadReportWeights() const {
    CSettingsCopy store(m_strFileName);
    return store->value(QStringLiteral("Report/Weights")).toString().toStdString();
}

bool CSettingsStore::SaveReportWeights(const std::string& strWeights) {
    CSettingsCopy store(m_strFileName);
    store->setValue(QStringLiteral("Report/Weights"), QString::fromStdString(strWeights));
    return store.Commit();
}

bool CSettingsStore::LoadReportHistory() const {
    CSettingsCopy store(m_strFileName);
    return store->value(QStringLiteral("Report/History")).toInt() == 1;
}

bool CSettingsStore::SaveReportHistory(bool bInclude) {
    CSettingsCopy store(m_strFileName);
    store->setValue(QStringLiteral("Report/History"), bInclude ? 1 : 0);
    return store.Commit();
}

bool CSettingsStore::SaveWindowGeometry(const std::string& strName,
                                        const std::string& strGeometry) {
    CSettingsCopy store(m_strFileName);
    store->setValue(QString::fromStdString("Window/" + strName),
                    QByteArray::fromStdString(strGeometry));
    return store.Commit();
}
