// Recipient lists, addresses, encoded words, encoded display names and text preparation on any
// text: no crash, no empty address, and the prepared text and its quoted-printable body have
// CR LF line ends only and every dot that starts a line doubled.
#include "mail/smtp_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
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
