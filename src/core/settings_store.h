#pragma once

#include "core/app_settings.h"

#include <string>
#include <vector>

// The per-user settings: section "Settings" of the QSettings file of organisation
// "Vantrel Software", application "Vantrel" (an INI file in the user's configuration folder,
// which follows XDG_CONFIG_HOME). The file holds the mail password, so only its owner may
// read or write it. Qt Core only.
class CPasswordKeyring;

class CSettingsStore {
public:
    // The user's settings file.
    CSettingsStore();
    // Another settings file (tools and tests).
    explicit CSettingsStore(const std::string& strFileName);

    // Reads the alert and mail values (absent: 0 or empty, port 25 and security 0; 64 hosts
    // tested at once unless 1 to 256; 400 days of history unless 1 to 36500; 5xx counted down
    // unless "ServerErrorsDown" is 0; certificate notice 14 days ahead unless 0 to 365) and
    // decides the data path. A port or security that cannot be read as one of its values is
    // never taken for a weaker one: it reads as port 0 or security -1, which no send accepts
    // until it is mended, and GetUnreadable() names it. The data path is "IniPath" when it is
    // not empty, else the user's data folder (created when missing) or, failing that, the
    // program's folder, plus "/Vantrel.dat". When bWriteBackPath and "IniPath" was absent or
    // empty, the chosen path is written to it.
    void LoadSettings(CAppSettings& settings, std::string& strDataPath, bool bWriteBackPath = true);
    // Writes "AlertSystem", "AlertEmail", "EmailFrom", "EmailTo", "Login", "Pass", "SMTP",
    // "SMTPPort", "SMTPSecurity", "PingMethod", "SMTPAuth", "AllowPlainPassword", "HeloName"
    // "AlertBackUp", "ConcurrentTests", "HistoryDays", "ServerErrorsDown" and "CertWarningDays",
    // in this order; "Pass" only where the keyring did not take the password. False when the
    // file could not be written.
    bool SaveSettings(const CAppSettings& settings);

    // With a keyring the mail password lives there; a password found in the file moves into
    // it at the next load. Where no keyring answers the file keeps it.
    void SetKeyring(CPasswordKeyring* pKeyring) { m_pKeyring = pKeyring; }

    // A window's saved geometry (QWidget::saveGeometry bytes) by name, in section "Window";
    // empty when none was saved. Saving keeps the file owner-only.
    std::string LoadWindowGeometry(const std::string& strName) const;
    bool SaveWindowGeometry(const std::string& strName, const std::string& strGeometry);

    // The weights of the last report, "Report/Weights": nine whole numbers separated by commas
    // as saved; empty when none were saved.
    std::string LoadReportWeights() const;
    bool SaveReportWeights(const std::string& strWeights);

    const std::string& GetFileName() const { return m_strFileName; }
    // The values the last LoadSettings could not read, as written: "SMTPSecurity=starttls".
    const std::vector<std::string>& GetUnreadable() const { return m_arrUnreadable; }

    // Where the user's settings file lives.
    static std::string GetDefaultFileName();
    // The data path when "IniPath" is empty.
    static std::string GetDefaultDataPath();

private:
    // Creates the file owner-only before the first write and keeps it so afterwards.
    void MakePrivate() const;

    std::string m_strFileName;
    CPasswordKeyring* m_pKeyring = nullptr;
    std::vector<std::string> m_arrUnreadable;
};
