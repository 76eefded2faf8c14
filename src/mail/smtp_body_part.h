#pragma once

#include "mail/base64_coder.h"

#include <memory>
#include <string>
#include <vector>

// One node of a mail body: a text or a file attachment, with owned child parts that make it a
// multipart container. Texts are prepared for SMTP when they are set (CR LF line ends, dots at
// line starts doubled), so the pieces produced here go on the wire unchanged.
class CSMTPBodyPart {
public:
    CSMTPBodyPart();
    virtual ~CSMTPBodyPart();
    // A copy keeps the source's boundary and parent pointer and deep-copies the children.
    CSMTPBodyPart(const CSMTPBodyPart& src);
    CSMTPBodyPart& operator=(const CSMTPBodyPart& src);

    // Normalises line ends to CR LF, doubles leading dots and makes the part "text/plain".
    void SetText(const std::string& strText);
    const std::string& GetText() const { return m_strText; }

    // The framing header inside the parent (only for parts that have a parent).
    bool BuildPartHeader(std::string& strHeader) const;
    // The body: the text (quoted-printable when m_bQuotedPrintable) or the file in Base64
    // lines of 76 characters. False when the file cannot be read.
    bool GetBody(std::string& strBody);
    // The closing boundary of this part's children, without a line end.
    bool BuildPartFooter(std::string& strFooter) const;

    int AddChild(const CSMTPBodyPart& part);
    int GetChildCount() const { return static_cast<int>(m_arrChildren.size()); }
    CSMTPBodyPart* GetChildAt(int nIndex) const { return m_arrChildren[nIndex].get(); }
    void RemoveChildAt(int nIndex);
    // First direct child whose content type equals strContentType exactly, or null.
    CSMTPBodyPart* FindChildByType(const std::string& strContentType) const;

    const std::string& GetBoundary() const { return m_strBoundary; }
    bool GetQuotedPrintable() const { return m_bQuotedPrintable; }
    void SetQuotedPrintable(bool bQuotedPrintable) { m_bQuotedPrintable = bQuotedPrintable; }

    static std::string EncodeQuotedPrintable(const std::string& strText);
    // Doubles every dot that starts a line: after a line feed and at the very start.
    static void DoubleLeadingDots(std::string& strText);
    static std::string ReplaceAll(const std::string& strText, const std::string& strSearch,
                                  const std::string& strReplace);

    std::string m_strFilePath; // non-empty makes the part an attachment
    std::string m_strFileTitle;
    std::string m_strContentType = "text/plain";
    std::string m_strCharset = "iso-8859-1";
    std::string m_strContentBase;
    std::string m_strContentId;
    std::string m_strContentLocation;

private:
    friend class CSMTPMessage; // moves already prepared text between parts

    bool GetAttachmentBody(std::string& strBody);

    std::string m_strText;
    CBase64Coder m_coder;
    std::vector<std::unique_ptr<CSMTPBodyPart>> m_arrChildren;
    CSMTPBodyPart* m_pParent = nullptr;
    std::string m_strBoundary;
    bool m_bQuotedPrintable = true;
};
