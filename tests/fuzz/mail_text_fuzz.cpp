// Address parsing, recipient lists, encoded words, text preparation and quoted-printable on
// any text: no crash, and the wire rules hold.
#include "mail/smtp_message.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string strText(reinterpret_cast<const char*>(pData), nSize);
    CSMTPAddress address(strText);
    address.FormatForHeader();
    std::vector<CSMTPAddress> arrRecipients;
    for (const CSMTPAddress& recipient :
         (CSMTPMessage::SplitRecipientList(strText, arrRecipients), arrRecipients)) {
        if (recipient.m_strAddress.empty())
            __builtin_trap();
    }
    CSMTPMessage message;
    message.EncodeHeaderWord(strText);

    // Prepared text: CR LF line ends only, and no line starts with a lone dot.
    CSMTPBodyPart part;
    part.SetText(strText);
    const std::string& strPrepared = part.GetText();
    for (size_t i = 0; i < strPrepared.size(); ++i) {
        char c = strPrepared[i];
        if ((c == '\r' && (i + 1 == strPrepared.size() || strPrepared[i + 1] != '\n')) ||
            (c == '\n' && (i == 0 || strPrepared[i - 1] != '\r')))
            __builtin_trap();
        if (c == '.' && (i == 0 || strPrepared[i - 1] == '\n') &&
            (i + 1 == strPrepared.size() || strPrepared[i + 1] != '.'))
            __builtin_trap();
    }

    // Quoted-printable body: dots still stuffed, whole escapes, lines of at most 78 characters plus
    // the soft "=".
    std::string strBody;
    part.GetBody(strBody);
    size_t nLineStart = 0;
    for (size_t i = 0; i < strBody.size(); ++i) {
        if (strBody[i] == '=' &&
            !(i + 2 < strBody.size() && ((IsHex(strBody[i + 1]) && IsHex(strBody[i + 2])) ||
                                         (strBody[i + 1] == '\r' && strBody[i + 2] == '\n'))))
            __builtin_trap();
        if (strBody[i] == '.' && (i == 0 || strBody[i - 1] == '\n') &&
            (i + 1 == strBody.size() || strBody[i + 1] != '.'))
            __builtin_trap();
        if (strBody[i] == '\n') {
            // 78 characters, "=" and CR, plus the dot that stuffing may have added.
            if (i - nLineStart > (strBody[nLineStart] == '.' ? 81u : 80u))
                __builtin_trap();
            nLineStart = i + 1;
        }
    }
    if (strBody.size() - nLineStart > 79u)
        __builtin_trap();
    return 0;
}
