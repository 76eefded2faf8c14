#pragma once

#include <string>

// The mail password in the desktop's keyring (Secret Service or KWallet, through QtKeychain).
// Every call waits for the keyring's answer, serving a local event loop meanwhile, so it needs
// a Qt application object.
class CPasswordKeyring {
public:
    enum EResult {
        KEYRING_OK,
        KEYRING_NOT_FOUND,   // the keyring answered: no password kept
        KEYRING_UNAVAILABLE, // no keyring answers (a server without a desktop session)
        KEYRING_FAILED,      // it answered with an error, GetError says which
    };

    explicit CPasswordKeyring(std::string strService = "Vantrel");

    EResult Read(std::string& strPassword);
    EResult Write(const std::string& strPassword);
    EResult Remove();
    // The keyring's words for the last failure.
    const std::string& GetError() const { return m_strError; }

private:
    std::string m_strService;
    std::string m_strError;
};
