#include "mail/smtp_message.h"

#include "platform/time_zone.h"
#include "platform/uuid.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

const char MULTIPART_PREAMBLE[] = "This is a multi-part message in MIME format";

bool HasHighBytes(const std::string& str) {
    for (char c : str) {
        if (static_cast<uint8_t>(c) >= 128)
            return true;
    }
    return false;
}

bool HasLineBreak(const std::string& str) {
    return str.find_first_of("\r\n") != std::string::npos;
}

bool HasLineBreak(const CSMTPAddress& address) {
    return HasLineBreak(address.m_strDisplayName) || HasLineBreak(address.m_strAddress);
}

} // namespace

CSMTPMessage::CSMTPMessage() = default;

CSMTPMessage::~CSMTPMessage() = default;

std::vector<std::unique_ptr<CSMTPAddress>>* CSMTPMessage::GetList(int nKind) {
    return const_cast<std::vector<std::unique_ptr<CSMTPAddress>>*>(
        static_cast<const CSMTPMessage*>(this)->GetList(nKind));
}

const std::vector<std::unique_ptr<CSMTPAddress>>* CSMTPMessage::GetList(int nKind) const {
    switch (nKind) {
    case RECIPIENT_TO:
        return &m_arrTo;
    case RECIPIENT_CC:
        return &m_arrCc;
    case RECIPIENT_BCC:
        return &m_arrBcc;
    default:
        return nullptr;
    }
}

int CSMTPMessage::AddRecipient(const CSMTPAddress& recipient, int nKind) {
    auto* pList = GetList(nKind);
    if (pList == nullptr)
        return -1;
    pList->push_back(std::make_unique<CSMTPAddress>(recipient));
    return static_cast<int>(pList->size()) - 1;
}

int CSMTPMessage::GetRecipientCount(int nKind) const {
    const auto* pList = GetList(nKind);
    return pList != nullptr ? static_cast<int>(pList->size()) : 0;
}

CSMTPAddress* CSMTPMessage::GetRecipientAt(int nIndex, int nKind) const {
    const auto* pList = GetList(nKind);
    return pList != nullptr ? (*pList)[nIndex].get() : nullptr;
}

bool CSMTPMessage::AddRecipientList(const std::string& strRecipients, int nKind) {
    std::vector<CSMTPAddress> arrRecipients;
    SplitRecipientList(strRecipients, arrRecipients);
    for (const CSMTPAddress& recipient : arrRecipients)
        AddRecipient(recipient, nKind);
    return !arrRecipients.empty();
}

int CSMTPMessage::SplitRecipientList(const std::string& strRecipients,
                                     std::vector<CSMTPAddress>& arrRecipients) {
    arrRecipients.clear();
    size_t nStart = 0;
    while (nStart <= strRecipients.size()) {
        // "Smith, Bob" <bob@example.org> is one address.
        size_t nEnd = CSMTPAddress::FindUnquoted(strRecipients, ",;", nStart);
        if (nEnd == std::string::npos)
            nEnd = strRecipients.size();
        CSMTPAddress address(strRecipients.substr(nStart, nEnd - nStart));
        if (!address.m_strAddress.empty())
            arrRecipients.push_back(address);
        nStart = nEnd + 1;
    }
    return static_cast<int>(arrRecipients.size());
}

void CSMTPMessage::AddExtraHeader(const std::string& strLine) {
    m_arrExtraHeaders.push_back(strLine);
}

void CSMTPMessage::MakeRootContainer() {
    m_rootPart.SetText(MULTIPART_PREAMBLE);
    m_rootPart.m_strContentType = "multipart/mixed";
}

void CSMTPMessage::SetBodyText(const std::string& strText) {
    if (!m_bMime) {
        m_rootPart.SetText(strText);
        return;
    }
    if (CSMTPBodyPart* pText = m_rootPart.FindChildByType("text/plain")) {
        pText->SetText(strText);
        return;
    }
    MakeRootContainer();
    CSMTPBodyPart part;
    part.m_strCharset = m_rootPart.m_strCharset;
    part.SetText(strText);
    m_rootPart.AddChild(part);
}

std::string CSMTPMessage::GetBodyText() const {
    return m_rootPart.GetText();
}

void CSMTPMessage::SetMimeMode(bool bMime) {
    if (bMime == m_bMime)
        return;
    m_bMime = bMime;
    while (m_rootPart.GetChildCount() > 0)
        m_rootPart.RemoveChildAt(m_rootPart.GetChildCount() - 1);
    if (!bMime)
        return;
    // The root's text was prepared when it was set: it moves to the child as it is, so its
    // dots are not doubled a second time.
    std::string strPrepared = m_rootPart.m_strText;
    MakeRootContainer();
    if (!strPrepared.empty()) {
        CSMTPBodyPart part;
        part.m_strCharset = m_rootPart.m_strCharset;
        part.m_strText = strPrepared;
        m_rootPart.AddChild(part);
    }
}

std::string CSMTPMessage::EncodeHeaderWord(const std::string& strText, bool bPhrase) const {
    if (!HasHighBytes(strText))
        return strText;
    static const char s_szHex[] = "0123456789ABCDEF";
    const std::string strStart = "=?" + m_rootPart.m_strCharset + "?q?";
    const bool bUtf8 = strcasecmp(m_rootPart.m_strCharset.c_str(), "utf-8") == 0;
    std::string str = strStart;
    size_t nWordStart = 0;
    for (size_t i = 0; i < strText.size();) {
        // A character's bytes stay in one word: a UTF-8 sequence is never split.
        size_t nLength = 1;
        while (bUtf8 && i + nLength < strText.size() &&
               (static_cast<uint8_t>(strText[i + nLength]) & 0xC0) == 0x80)
            ++nLength;
        std::string strChar;
        for (size_t j = i; j < i + nLength; ++j) {
            auto c = static_cast<uint8_t>(strText[j]);
            if (c == ' ') {
                strChar += '_';
            } else if (bPhrase ? isalnum(c) || strchr("!*+-/", c) != nullptr
                               : c < 128 && c != '=' && c != '?' && c != '_') {
                strChar += static_cast<char>(c);
            } else {
                strChar += '=';
                strChar += s_szHex[c >> 4];
                strChar += s_szHex[c & 0x0F];
            }
        }
        // Words of at most MAX_ENCODED_WORD characters, so that folded lines stay short.
        if (str.size() - nWordStart + strChar.size() + 2 > MAX_ENCODED_WORD &&
            str.size() - nWordStart > strStart.size()) {
            str += "?= ";
            nWordStart = str.size();
            str += strStart;
        }
        str += strChar;
        i += nLength;
    }
    str += "?=";
    return str;
}

std::string CSMTPMessage::FoldHeaderLine(const std::string& strLine) {
    // Breaks before the last space or tab that keeps a line within 78 characters, never
    // inside the field name; a run without any stays whole.
    const size_t nBody = strLine.find(": ") == std::string::npos ? 0 : strLine.find(": ") + 2;
    std::string strFolded;
    size_t nStart = 0;
    while (strLine.size() - nStart > MAX_HEADER_LINE) {
        const size_t nMin = nStart == 0 ? nBody : nStart + 1;
        size_t nBreak = strLine.find_last_of(" \t", nStart + MAX_HEADER_LINE);
        if (nBreak == std::string::npos || nBreak < nMin)
            nBreak = strLine.find_first_of(" \t", std::max(nMin, nStart + MAX_HEADER_LINE));
        if (nBreak == std::string::npos)
            break;
        strFolded += strLine.substr(nStart, nBreak - nStart) + "\r\n";
        nStart = nBreak;
    }
    return strFolded + strLine.substr(nStart);
}

bool CSMTPMessage::IsBodyEightBit() const {
    return HasHighBytes(m_rootPart.GetText());
}

std::string CSMTPMessage::FormatDate(time_t t) {
    static const char* const s_arrDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const s_arrMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    tzset(); // follow the zone as it is now, as the platform's zone query does
    tm tmLocal{};
    localtime_r(&t, &tmLocal);
    TIME_ZONE_INFORMATION tzi;
    int32_t nBias = 0;
    if (GetTimeZoneInformation(t, tzi) == TIME_ZONE_ID_DAYLIGHT)
        nBias = tzi.Bias + tzi.DaylightBias;
    else
        nBias = tzi.Bias;
    int nOffset = -nBias;
    int nAbsolute = std::abs(nOffset);
    char szDate[64];
    snprintf(szDate, sizeof szDate, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d",
             s_arrDays[tmLocal.tm_wday % 7], tmLocal.tm_mday, s_arrMonths[tmLocal.tm_mon % 12],
             tmLocal.tm_year + 1900, tmLocal.tm_hour, tmLocal.tm_min, tmLocal.tm_sec,
             nOffset < 0 ? '-' : '+', nAbsolute / 60, nAbsolute % 60);
    return szDate;
}

std::string CSMTPMessage::FormatAddress(const CSMTPAddress& address) const {
    if (!HasHighBytes(address.m_strDisplayName))
        return address.FormatForHeader();
    // Only the name is encoded: the address has to stay readable to every mail program.
    return EncodeHeaderWord(address.GetPlainDisplayName(), true) + " <" + address.m_strAddress +
           ">";
}

std::string
CSMTPMessage::JoinForHeader(const std::vector<std::unique_ptr<CSMTPAddress>>& arrAddresses) const {
    std::string str;
    for (size_t i = 0; i < arrAddresses.size(); ++i) {
        if (i > 0)
            str += ',';
        str += FormatAddress(*arrAddresses[i]);
    }
    return str;
}

std::string CSMTPMessage::MakeMessageId() const {
    const size_t nAt = m_from.m_strAddress.rfind('@');
    std::string strDomain =
        nAt == std::string::npos ? std::string() : m_from.m_strAddress.substr(nAt + 1);
    if (strDomain.empty())
        strDomain = "localhost";
    UUID uuid;
    UuidCreate(uuid);
    return "<" + UuidToString(uuid) + "@" + strDomain + ">";
}

const char* CSMTPMessage::FindLineBreak() const {
    if (HasLineBreak(m_strSubject))
        return "subject";
    if (HasLineBreak(m_from))
        return "sender";
    if (HasLineBreak(m_replyTo))
        return "reply-to address";
    for (const auto* pList : {&m_arrTo, &m_arrCc, &m_arrBcc}) {
        for (const auto& pAddress : *pList) {
            if (HasLineBreak(*pAddress))
                return "recipient";
        }
    }
    if (HasLineBreak(m_strMailer))
        return "mailer name";
    for (const std::string& strLine : m_arrExtraHeaders) {
        if (HasLineBreak(strLine))
            return "extra header";
    }
    return nullptr;
}

std::string CSMTPMessage::BuildHeader() const {
    std::string str = FoldHeaderLine("From: " + FormatAddress(m_from)) + "\r\n";
    str += FoldHeaderLine("To: " + JoinForHeader(m_arrTo)) + "\r\n";
    std::string strCc = JoinForHeader(m_arrCc);
    if (!strCc.empty())
        str += FoldHeaderLine("Cc: " + strCc) + "\r\n";
    str += FoldHeaderLine("Subject: " + EncodeHeaderWord(m_strSubject)) + "\r\n";
    str += "Date: " + EncodeHeaderWord(FormatDate(m_tDate ? m_tDate : time(nullptr))) + "\r\n";
    str += "Message-ID: " + MakeMessageId() + "\r\n";
    str += FoldHeaderLine("X-Mailer: " + EncodeHeaderWord(m_strMailer)) + "\r\n";
    if (!m_bMime) {
        str += "MIME-Version: 1.0\r\nContent-Type: " + m_rootPart.m_strContentType +
               ";\r\n\tcharset=" + m_rootPart.m_strCharset + "\r\n";
        if (IsBodyEightBit() && m_rootPart.GetQuotedPrintable())
            str += "Content-Transfer-Encoding: quoted-printable\r\n";
    } else {
        if (m_rootPart.GetQuotedPrintable())
            str += "Content-Transfer-Encoding: quoted-printable\r\n";
        str += "MIME-Version: 1.0\r\nContent-Type: " + m_rootPart.m_strContentType;
        if (m_rootPart.GetChildCount() > 0)
            str += "; boundary=\"" + m_rootPart.GetBoundary() + "\"";
        str += "\r\n";
    }
    if (!m_replyTo.m_strAddress.empty())
        str += FoldHeaderLine("Reply-To: " + FormatAddress(m_replyTo)) + "\r\n";
    for (const std::string& strLine : m_arrExtraHeaders)
        str += FoldHeaderLine(strLine) + "\r\n";
    return str;
}
