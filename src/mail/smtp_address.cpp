#include "mail/smtp_address.h"

#include <cstring>

namespace {

const char* const WHITE_SPACE = " \t\r\n\v\f";

std::string Trim(const std::string& str) {
    size_t nFirst = str.find_first_not_of(WHITE_SPACE);
    if (nFirst == std::string::npos)
        return std::string();
    size_t nLast = str.find_last_not_of(WHITE_SPACE);
    return str.substr(nFirst, nLast - nFirst + 1);
}

} // namespace

size_t CSMTPAddress::FindUnquoted(const std::string& strText, const char* pszChars, size_t nFrom) {
    bool bQuoted = false;
    for (size_t i = nFrom; i < strText.size(); ++i) {
        const char c = strText[i];
        if (bQuoted && c == '\\')
            ++i; // the escaped character, whatever it is
        else if (c == '"')
            bQuoted = !bQuoted;
        else if (!bQuoted && strchr(pszChars, c) != nullptr)
            return i;
    }
    return std::string::npos;
}

CSMTPAddress::CSMTPAddress(const std::string& strText) {
    std::string strTrimmed = Trim(strText);
    // A "<" or ">" inside a quoted display name is part of the name.
    size_t nOpen = FindUnquoted(strTrimmed, "<");
    size_t nClose = nOpen == std::string::npos ? std::string::npos : strTrimmed.find('>', nOpen);
    if (nOpen != std::string::npos && nClose != std::string::npos && nClose >= nOpen + 2) {
        m_strAddress = strTrimmed.substr(nOpen + 1, nClose - nOpen - 1);
        m_strDisplayName = Trim(strTrimmed.substr(0, nOpen));
    } else {
        m_strAddress = strTrimmed;
    }
}

std::string CSMTPAddress::GetPlainDisplayName() const {
    const std::string& str = m_strDisplayName;
    if (str.size() < 2 || str.front() != '"' || str.back() != '"')
        return str;
    std::string strPlain;
    for (size_t i = 1; i + 1 < str.size(); ++i) {
        if (str[i] == '\\' && i + 2 < str.size())
            ++i;
        strPlain += str[i];
    }
    return strPlain;
}

std::string CSMTPAddress::FormatForHeader() const {
    if (m_strDisplayName.empty())
        return m_strAddress;
    // A name with specials such as a comma would read as two addresses: it goes in quotes.
    const std::string strName = GetPlainDisplayName();
    if (strName != m_strDisplayName ||
        strName.find_first_of("()<>[]:;@\\,.\"") == std::string::npos)
        return m_strDisplayName + " <" + m_strAddress + ">"; // as typed: plain or quoted
    std::string strQuoted = "\"";
    for (char c : strName) {
        if (c == '"' || c == '\\')
            strQuoted += '\\';
        strQuoted += c;
    }
    return strQuoted + "\" <" + m_strAddress + ">";
}
