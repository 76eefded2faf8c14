#include "mail/smtp_body_part.h"

#include "platform/last_error.h"
#include "platform/uuid.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Attachments are read whole and Base64-encoded in memory.
constexpr off_t MAX_ATTACHMENT_SIZE = 768L * 1024 * 1024;

const char HEX_DIGITS[] = "0123456789ABCDEF";

// Reads the whole file; false with errno in the last error.
bool ReadWholeFile(const std::string& strPath, std::string& strData) {
    int fd = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }
    struct stat st {};
    bool bOk = fstat(fd, &st) == 0;
    if (!bOk)
        SetLastError(static_cast<uint32_t>(errno));
    else if (st.st_size > MAX_ATTACHMENT_SIZE) {
        SetLastError(EFBIG);
        bOk = false;
    }
    if (bOk) {
        strData.resize(static_cast<size_t>(st.st_size));
        size_t nRead = 0;
        while (nRead < strData.size()) {
            ssize_t n = read(fd, strData.data() + nRead, strData.size() - nRead);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                // A file that shrank while we read it is as bad as a read error.
                SetLastError(n < 0 ? static_cast<uint32_t>(errno) : EIO);
                bOk = false;
                break;
            }
            nRead += static_cast<size_t>(n);
        }
    }
    close(fd);
    return bOk;
}

} // namespace

CSMTPBodyPart::CSMTPBodyPart() {
    UUID uuid;
    UuidCreate(uuid);
    m_strBoundary = UuidToString(uuid);
}

CSMTPBodyPart::~CSMTPBodyPart() = default;

CSMTPBodyPart::CSMTPBodyPart(const CSMTPBodyPart& src) {
    *this = src;
}

CSMTPBodyPart& CSMTPBodyPart::operator=(const CSMTPBodyPart& src) {
    if (this == &src)
        return *this;
    // Children are copied first: src may be one of the children about to be replaced.
    std::vector<std::unique_ptr<CSMTPBodyPart>> arrChildren;
    for (const auto& pChild : src.m_arrChildren)
        arrChildren.push_back(std::make_unique<CSMTPBodyPart>(*pChild));
    m_strFilePath = src.m_strFilePath;
    m_strFileTitle = src.m_strFileTitle;
    m_strContentType = src.m_strContentType;
    m_strCharset = src.m_strCharset;
    m_strContentBase = src.m_strContentBase;
    m_strContentId = src.m_strContentId;
    m_strContentLocation = src.m_strContentLocation;
    m_strText = src.m_strText;
    m_pParent = src.m_pParent;
    m_strBoundary = src.m_strBoundary;
    m_bQuotedPrintable = src.m_bQuotedPrintable;
    m_arrChildren.swap(arrChildren);
    for (auto& pChild : m_arrChildren)
        pChild->m_pParent = this;
    return *this;
}

void CSMTPBodyPart::SetText(const std::string& strText) {
    m_strText = ReplaceAll(strText, "\r\n", "\n");
    m_strText = ReplaceAll(m_strText, "\r", "\n");
    m_strText = ReplaceAll(m_strText, "\n", "\r\n");
    DoubleLeadingDots(m_strText);
    m_strContentType = "text/plain";
}

void CSMTPBodyPart::DoubleLeadingDots(std::string& strText) {
    std::string strResult;
    strResult.reserve(strText.size() + 16);
    for (size_t i = 0; i < strText.size(); ++i) {
        if (strText[i] == '.' && (i == 0 || strText[i - 1] == '\n'))
            strResult += '.';
        strResult += strText[i];
    }
    strText.swap(strResult);
}

std::string CSMTPBodyPart::ReplaceAll(const std::string& strText, const std::string& strSearch,
                                      const std::string& strReplace) {
    if (strSearch.empty())
        return strText;
    std::string strResult;
    strResult.reserve(strText.size());
    size_t nPos = 0;
    for (;;) {
        size_t nFound = strText.find(strSearch, nPos);
        if (nFound == std::string::npos)
            break;
        strResult.append(strText, nPos, nFound - nPos);
        strResult += strReplace;
        nPos = nFound + strSearch.size();
    }
    strResult.append(strText, nPos, std::string::npos);
    return strResult;
}

std::string CSMTPBodyPart::EncodeQuotedPrintable(const std::string& strText) {
    std::string strEscaped;
    strEscaped.reserve(strText.size() + strText.size() / 8);
    for (char ch : strText) {
        auto c = static_cast<uint8_t>(ch);
        if ((c >= 33 && c <= 60) || (c >= 62 && c <= 126) || c == '\r' || c == '\n' || c == '\t' ||
            c == ' ') {
            strEscaped += ch;
        } else {
            strEscaped += '=';
            strEscaped += HEX_DIGITS[c >> 4];
            strEscaped += HEX_DIGITS[c & 0x0F];
        }
    }

    // Soft line breaks: a line reaching its 78th character is broken after the last space,
    // tab or whole escape, or else after its 77th character.
    std::string strResult;
    strResult.reserve(strEscaped.size() + strEscaped.size() / 32);
    const size_t nLength = strEscaped.size();
    size_t nLineStart = 0;
    for (size_t i = 0; i < nLength; ++i) {
        char c = strEscaped[i];
        if (c == '\r' || c == '\n' || i == nLength - 1) {
            strResult.append(strEscaped, nLineStart, i + 1 - nLineStart);
            nLineStart = i + 1;
        } else if (i - nLineStart >= 77) {
            size_t nBreak = nLineStart + 76;
            bool bFound = false;
            for (size_t j = i; j > nLineStart && j >= 2 && !bFound; --j) {
                if (strEscaped[j] == ' ' || strEscaped[j] == '\t' || strEscaped[j - 2] == '=') {
                    nBreak = j;
                    bFound = true;
                }
            }
            // Never split an escape: with no stop found, the only escape that can straddle
            // the 77th character is one that starts there.
            if (!bFound && strEscaped[nBreak] == '=')
                nBreak -= 1;
            strResult.append(strEscaped, nLineStart, nBreak + 1 - nLineStart);
            strResult += "=\r\n";
            nLineStart = nBreak + 1;
            i = nBreak; // the loop goes on with the character after the break
        }
    }
    return strResult;
}

bool CSMTPBodyPart::BuildPartHeader(std::string& strHeader) const {
    const std::string strParentBoundary = m_pParent != nullptr ? m_pParent->m_strBoundary : "";
    const bool bChildren = !m_arrChildren.empty();
    std::string str;
    if (m_strFilePath.empty()) {
        str = "\r\n--" + strParentBoundary + "\r\nContent-Type: " + m_strContentType +
              "; charset=" + m_strCharset;
        if (bChildren)
            str += "; Boundary=\"" + m_strBoundary + "\"";
        str += "\r\n";
        if (m_bQuotedPrintable)
            str += "Content-Transfer-Encoding: quoted-printable\r\n";
    } else {
        str = "\r\n\r\n--" + strParentBoundary + "\r\nContent-Type: " + m_strContentType +
              "; charset=" + m_strCharset + "; name=" + m_strFileTitle;
        if (bChildren)
            str += "; Boundary=\"" + m_strBoundary + "\"";
        str += "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; "
               "filename=\"" +
               m_strFileTitle + "\"\r\n";
    }
    if (!m_strContentBase.empty())
        str += "Content-Base: " + m_strContentBase + "\r\n";
    if (!m_strContentId.empty())
        str += "Content-ID: " + m_strContentId + "\r\n";
    if (!m_strContentLocation.empty())
        str += "Content-Location: " + m_strContentLocation + "\r\n";
    str += "\r\n";
    strHeader.swap(str);
    return true;
}

bool CSMTPBodyPart::GetBody(std::string& strBody) {
    if (!m_strFilePath.empty())
        return GetAttachmentBody(strBody);
    if (!m_bQuotedPrintable) {
        strBody = m_strText;
        return true;
    }
    // The text's own leading dots were doubled when it was set; only dots that a soft line
    // break brings to a line start still need doubling.
    std::string strEncoded = EncodeQuotedPrintable(m_strText);
    std::string strResult;
    strResult.reserve(strEncoded.size() + 16);
    for (size_t i = 0; i < strEncoded.size(); ++i) {
        if (strEncoded[i] == '.' && i >= 3 && strEncoded.compare(i - 3, 3, "=\r\n") == 0)
            strResult += '.';
        strResult += strEncoded[i];
    }
    strBody.swap(strResult);
    return true;
}

bool CSMTPBodyPart::GetAttachmentBody(std::string& strBody) {
    std::string strData;
    if (!ReadWholeFile(m_strFilePath, strData))
        return false;
    strBody.clear();
    if (strData.empty())
        return true;
    m_coder.Encode(reinterpret_cast<const uint8_t*>(strData.data()),
                   static_cast<uint32_t>(strData.size()));
    const char* pEncoded = m_coder.GetEncoded();
    const size_t nEncoded = m_coder.GetEncodedLength();
    strBody.reserve(nEncoded + 2 * (nEncoded / 76 + 1));
    for (size_t nPos = 0; nPos < nEncoded; nPos += 76) {
        strBody.append(pEncoded + nPos, std::min<size_t>(76, nEncoded - nPos));
        strBody += "\r\n";
    }
    return true;
}

bool CSMTPBodyPart::BuildPartFooter(std::string& strFooter) const {
    strFooter = "\r\n--" + m_strBoundary + "--";
    return true;
}

int CSMTPBodyPart::AddChild(const CSMTPBodyPart& part) {
    auto pChild = std::make_unique<CSMTPBodyPart>(part);
    pChild->m_pParent = this;
    m_arrChildren.push_back(std::move(pChild));
    return static_cast<int>(m_arrChildren.size()) - 1;
}

void CSMTPBodyPart::RemoveChildAt(int nIndex) {
    m_arrChildren.erase(m_arrChildren.begin() + nIndex);
}

CSMTPBodyPart* CSMTPBodyPart::FindChildByType(const std::string& strContentType) const {
    for (const auto& pChild : m_arrChildren) {
        if (pChild->m_strContentType == strContentType)
            return pChild.get();
    }
    return nullptr;
}
