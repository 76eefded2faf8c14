// Any text through the mail encoders: base64 decodes it tolerantly and gives any bytes back;
// recipients, addresses, encoded words and names never crash or give an empty address, and the
// prepared text and its quoted-printable body have CR LF line ends only and leading dots doubled.
#include "mail/base64_coder.h"
#include "mail/smtp_message.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    CBase64Coder coder, decoder;
    coder.Decode(reinterpret_cast<const char*>(pData), static_cast<uint32_t>(nSize));
    const uint32_t nKept = coder.GetEncodedLength(), nDecoded = coder.GetDecodedLength();
    if (nKept > nSize || coder.GetEncoded()[nKept] != '\0' || coder.GetDecoded()[nDecoded] != 0 ||
        nDecoded != nKept / 4 * 3 + nKept % 4)
        __builtin_trap();
    coder.Encode(pData, static_cast<uint32_t>(nSize));
    decoder.Decode(coder.GetEncoded(), coder.GetEncodedLength());
    if (coder.GetEncodedLength() != (nSize + 2) / 3 * 4 || decoder.GetDecodedLength() < nSize ||
        memcmp(decoder.GetDecoded(), pData, nSize) != 0)
        __builtin_trap();

    const std::string strText(reinterpret_cast<const char*>(pData), nSize);
    std::vector<CSMTPAddress> arrRecipients;
    CSMTPMessage::SplitRecipientList(strText, arrRecipients);
    for (const CSMTPAddress& recipient : arrRecipients)
        if (recipient.FormatForHeader().empty() || recipient.m_strAddress.empty())
            __builtin_trap();
    CSMTPMessage().EncodeHeaderWord(strText);
    // An encoded display name never lets a line break or an angle bracket of the name through.
    CSMTPAddress named;
    named.m_strDisplayName = strText + "\xe9";
    named.m_strAddress = "a@b";
    const std::string strNamed = CSMTPMessage().FormatAddress(named);
    if (strNamed.find_first_of("\r\n<>") != strNamed.size() - 5)
        __builtin_trap();
    CSMTPBodyPart part;
    part.SetText(strText);
    std::string strBody;
    part.GetBody(strBody);
    for (const std::string& str : {"\r\n" + part.GetText() + "\r\n", "\r\n" + strBody + "\r\n"})
        for (size_t i = 1; i + 1 < str.size(); ++i)
            if ((str[i] == '\r') != (str[i + 1] == '\n') ||
                (str[i - 1] == '\n' && str[i] == '.' && str[i + 1] != '.'))
                __builtin_trap();
    return 0;
}
