#pragma once

#include "mail/smtp_address.h"
#include "mail/smtp_body_part.h"

#include <ctime>
#include <memory>
#include <string>
#include <vector>

constexpr int RECIPIENT_TO = 0;
constexpr int RECIPIENT_CC = 1;
constexpr int RECIPIENT_BCC = 2;

// One mail: sender, recipients, subject, extra header lines and the body. The recipients
// decide where it goes (every To, Cc and Bcc gets an RCPT); Bcc is named in no header.
class CSMTPMessage {
public:
    CSMTPMessage();
    virtual ~CSMTPMessage();
    CSMTPMessage(const CSMTPMessage&) = delete;
    CSMTPMessage& operator=(const CSMTPMessage&) = delete;

    // Index in the kind's list, or -1 for an unknown kind.
    int AddRecipient(const CSMTPAddress& recipient, int nKind = RECIPIENT_TO);
    int GetRecipientCount(int nKind = RECIPIENT_TO) const;
    CSMTPAddress* GetRecipientAt(int nIndex, int nKind = RECIPIENT_TO) const;
    // Adds every address of a "," / ";" separated list; true when at least one was found.
    bool AddRecipientList(const std::string& strRecipients, int nKind = RECIPIENT_TO);
    static int SplitRecipientList(const std::string& strRecipients,
                                  std::vector<CSMTPAddress>& arrRecipients);

    void AddExtraHeader(const std::string& strLine);
    void SetBodyText(const std::string& strText);
    std::string GetBodyText() const;
    void SetMimeMode(bool bMime);
    bool GetMimeMode() const { return m_bMime; }

    // The header block, every line ending in CR LF, without the empty line after it.
    virtual std::string BuildHeader() const;
    // The text, or "=?charset?q?...?=" words (each at most MAX_ENCODED_WORD characters,
    // separated by spaces; a UTF-8 character never split) when it holds bytes of 128 and
    // above. A phrase (a display name) keeps only letters, digits and !*+-/ unencoded.
    std::string EncodeHeaderWord(const std::string& strText, bool bPhrase = false) const;
    // A header line (without CR LF) folded before white space into lines of at most
    // MAX_HEADER_LINE characters where it has white space to fold at (RFC 5322).
    static std::string FoldHeaderLine(const std::string& strLine);
    // Whether the body holds bytes of 128 and above: it then goes quoted-printable.
    bool IsBodyEightBit() const;
    static constexpr size_t MAX_HEADER_LINE = 78;
    static constexpr size_t MAX_ENCODED_WORD = 66;
    // "Name <address>", the name as one encoded word when it holds bytes of 128 and above.
    std::string FormatAddress(const CSMTPAddress& address) const;
    // Which field holds a CR or LF ("subject", "sender", ...), or null when none does.
    const char* FindLineBreak() const;
    // "Sat, 05 Dec 2026 11:06:43 +0100" for time t in the local zone, English names.
    static std::string FormatDate(time_t t);

    CSMTPAddress m_from;
    std::string m_strSubject;
    std::string m_strMailer = "CSMTPConnection v2.29";
    CSMTPAddress m_replyTo;
    CSMTPBodyPart m_rootPart;
    // The Date header's time; 0: when the header is built.
    time_t m_tDate = 0;

private:
    void MakeRootContainer();
    std::string JoinForHeader(const std::vector<std::unique_ptr<CSMTPAddress>>& arrAddresses) const;
    // "<uuid@domain of the sender>"
    std::string MakeMessageId() const;
    std::vector<std::unique_ptr<CSMTPAddress>>* GetList(int nKind);
    const std::vector<std::unique_ptr<CSMTPAddress>>* GetList(int nKind) const;

    std::vector<std::unique_ptr<CSMTPAddress>> m_arrTo;
    std::vector<std::unique_ptr<CSMTPAddress>> m_arrCc;
    std::vector<std::unique_ptr<CSMTPAddress>> m_arrBcc;
    std::vector<std::string> m_arrExtraHeaders;
    bool m_bMime = false;
};
