#include "mail/smtp_address.h"

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

CSMTPAddress::CSMTPAddress(const std::string& strText) {
    std::string strTrimmed = Trim(strText);
    size_t nOpen = strTrimmed.find('<');
    size_t nClose = strTrimmed.find('>');
    if (nOpen != std::string::npos && nClose != std::string::npos && nClose >= nOpen + 2) {
        m_strAddress = strTrimmed.substr(nOpen + 1, nClose - nOpen - 1);
        m_strDisplayName = Trim(strTrimmed.substr(0, nOpen));
    } else {
        m_strAddress = strTrimmed;
    }
}

std::string CSMTPAddress::FormatForHeader() const {
    if (m_strDisplayName.empty())
        return m_strAddress;
    return m_strDisplayName + " <" + m_strAddress + ">";
}
