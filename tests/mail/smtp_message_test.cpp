#include "mail/md5.h"
#include "mail/scripted_smtp_server.h"

#include <gtest/gtest.h>

#include <cstring>

// Each address as [display name]address; display names with 8-bit characters become encoded words,
// the addresses stay plain.
TEST(SmtpMessage, RecipientListsAndEncodedHeaders) {
    // clang-format off
    const std::pair<const char*, const char*> lists[] = {
        {" ann@x.org \t, \"Ann B.\" <ann@y.org> more; ;", "2: []ann@x.org [\"Ann B.\"]ann@y.org"},
        {"x <>; a>b<c;Ann < ann@x >", "3: []x <> []a>b<c [Ann] ann@x "}, {" ,; \r\n,", "0:"}, {"", "0:"},
        // A comma or semicolon inside quotes is part of the name.
        {"\"Smith, Bob\" <bob@x.org>,\"a;\\\"b,\" <c@x.org>", "2: [\"Smith, Bob\"]bob@x.org [\"a;\\\"b,\"]c@x.org"}};
    // clang-format on
    for (const auto& [pszList, pszExpected] : lists) {
        std::vector<CSMTPAddress> arr;
        std::string strFound = std::to_string(CSMTPMessage::SplitRecipientList(pszList, arr)) + ":";
        for (const CSMTPAddress& address : arr)
            strFound += " [" + address.m_strDisplayName + "]" + address.m_strAddress;
        EXPECT_EQ(strFound, pszExpected);
    }
    CSMTPMessage message;
    message.m_strSubject = "H\xf4te =?_";
    message.AddRecipientList("J\xe9r\xf4me <j@x.org>, \"B\" <b@x.org>");
    // Specials in a plain name are quoted, so that a comma does not make two addresses.
    message.AddRecipient(CSMTPAddress("Ops, Team \\ \"A\" <o@x.org>"));
    message.AddRecipient(CSMTPAddress("Ann B. <a@x.org>"));
    EXPECT_EQ(message.BuildHeader().find("From: \r\nTo: =?iso-8859-1?q?J=E9r=F4me?= <j@x.org>,"
                                         "\"B\" <b@x.org>,\"Ops, Team \\\\ \\\"A\\\"\"\r\n"
                                         " <o@x.org>,\"Ann B.\" <a@x.org>\r\nSubject: "
                                         "=?iso-8859-1?q?H=F4te_=3D=3F=5F?=\r\n"),
              0u);
}

// A UTF-8 alert: names and subject as encoded words of at most 66 characters that never
// split a character, header lines folded within 78, the body quoted-printable.
TEST(SmtpMessage, Utf8HeadersFoldedAndQuotedPrintableBody) {
    CSMTPMessage message;
    message.m_rootPart.m_strCharset = "utf-8";
    message.m_from =
        CSMTPAddress("\"Ops, \xc3\x96sterreich \xe6\x9d\xb1\xe4\xba\xac\" <ops@example.org>");
    message.AddRecipientList("\"Smith, Bob\" <bob@example.org>, ann@example.org");
    message.m_strSubject =
        "The host \xd1\x81\xd0\xb5\xd1\x80\xd0\xb2\xd0\xb5\xd1\x80-\xd0\xbf\xd1"
        "\x80\xd0\xbe\xd0\xb4\xd0\xb0\xd0\xba\xd1\x88\xd0\xb5\xd0\xbd.example went "
        "down";
    message.SetBodyText(
        "The host \xd1\x81\xd0\xb5\xd1\x80\xd0\xb2\xd0\xb5\xd1\x80 went down.\n.\n");
    message.AddExtraHeader("X-Long: " + std::string(70, 'a') + " " + std::string(20, 'b'));
    EXPECT_EQ(WithoutDate(message.BuildHeader()),
              "From: =?utf-8?q?Ops=2C_=C3=96sterreich_=E6=9D=B1=E4=BA=AC?= <ops@example.org>\r\n"
              "To: \"Smith, Bob\" <bob@example.org>,ann@example.org\r\n"
              "Subject: =?utf-8?q?The_host_=D1=81=D0=B5=D1=80=D0=B2=D0=B5=D1=80-=D0=BF?=\r\n"
              " =?utf-8?q?=D1=80=D0=BE=D0=B4=D0=B0=D0=BA=D1=88=D0=B5=D0=BD.examp?=\r\n"
              " =?utf-8?q?le_went_down?=\r\n"
              "Date: *\r\nMessage-ID: <*@example.org>\r\nX-Mailer: CSMTPConnection v2.29\r\n"
              "MIME-Version: 1.0\r\nContent-Type: text/plain;\r\n\tcharset=utf-8\r\n"
              "Content-Transfer-Encoding: quoted-printable\r\n"
              "X-Long: " +
                  std::string(70, 'a') + "\r\n " + std::string(20, 'b') + "\r\n");
    std::string strBody;
    ASSERT_TRUE(message.m_rootPart.GetBody(strBody));
    EXPECT_EQ(strBody, "The host =D1=81=D0=B5=D1=80=D0=B2=D0=B5=D1=80 went down.\r\n..\r\n");
}

TEST(SmtpMessage, DateInTheLocalZoneWithEnglishNames) {
    const std::string strOldZone = getenv("TZ") != nullptr ? getenv("TZ") : "";
    // clang-format off
    const std::tuple<const char*, time_t, const char*> dates[] = {
        {"IST-5:30", 1796465203, "Sat, 05 Dec 2026 15:36:43 +0530"},
        {"UTC0", 1796465203, "Sat, 05 Dec 2026 10:06:43 +0000"}, // "-0000": the zone is unknown
        {"NST3:30", 1796465203, "Sat, 05 Dec 2026 06:36:43 -0330"},
        {"NZST-12NZDT,M9.5.0,M4.1.0/3", 1796465203, "Sat, 05 Dec 2026 23:06:43 +1300"},
        {"NZST-12NZDT,M9.5.0,M4.1.0/3", 1782907200, "Thu, 02 Jul 2026 00:00:00 +1200"}};
    // clang-format on
    for (const auto& [pszZone, t, pszDate] : dates) {
        setenv("TZ", pszZone, 1);
        tzset();
        EXPECT_EQ(CSMTPMessage::FormatDate(t), pszDate);
    }
    strOldZone.empty() ? unsetenv("TZ") : setenv("TZ", strOldZone.c_str(), 1);
    tzset();
}

// Quoted-printable: soft breaks at 77 characters, after the last space to the 78th, after escapes.
TEST(SmtpBodyPart, TextDotsAndQuotedPrintable) {
    const std::string a75(75, 'a');
    // clang-format off
    const std::pair<std::string, std::string> encoded[] = {
        {"a=b\xe9\t c\x7f", "a=3Db=E9\t c=7F"}, {a75 + "xxx\r\n", a75 + "xx=\r\nx\r\n"},
        {a75.substr(5) + " wwwwww tail", a75.substr(5) + " wwwwww =\r\ntail"},
        {a75 + "\xe9\xe9", a75 + "=E9=\r\n=E9"}, {a75 + "a\xe9" + "bcd", a75 + "a=\r\n=E9bcd"}};
    // clang-format on
    for (const auto& [strIn, strOut] : encoded)
        EXPECT_EQ(CSMTPBodyPart::EncodeQuotedPrintable(strIn), strOut);
    // Dots that start lines are doubled once: those of the text when it is set, one that a
    // soft break brings to a line start on the way out.
    CSMTPBodyPart part;
    part.SetText(".x\n..\n" + a75 + "aa.b");
    for (bool bQuotedPrintable : {true, false}) {
        std::string strBody;
        part.SetQuotedPrintable(bQuotedPrintable);
        ASSERT_TRUE(part.GetBody(strBody));
        EXPECT_EQ(strBody, "..x\r\n...\r\n" + a75 + (bQuotedPrintable ? "aa=\r\n..b" : "aa.b"));
    }
}

// MD5: RFC 1321's suite, whole and in odd pieces; the context is wiped afterwards. Base64:
// RFC 4648's vectors (never a line break), then the tolerant decoding: white space skipped,
// pads decode as zero bytes, a leftover character gives one more byte, foreign characters
// read as "+", a pad in front as "/", high characters as their low half. Results end in NUL.
TEST(Codecs, Md5AndBase64) {
    // clang-format off
    const std::pair<std::string, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"}, {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string(56, 'x'), "668a72d5ba17f08e62dabcafad6db14b"},
        {std::string(128, 'a'), "e510683b3f5ffe4093d021808bc6ff70"}}; // whole blocks only
    // clang-format on
    for (const auto& [strText, pszHex] : cases) {
        for (size_t nChunk : {1000, 1, 7, 64}) {
            MD5_CTX context, wiped{};
            MD5Init(&context);
            for (size_t i = 0; i < strText.size(); i += nChunk)
                MD5Update(&context, reinterpret_cast<const uint8_t*>(strText.data()) + i,
                          std::min(nChunk, strText.size() - i));
            uint8_t digest[16];
            MD5Final(digest, &context);
            EXPECT_EQ(memcmp(&context, &wiped, sizeof context), 0);
            std::string strHex;
            for (uint8_t b : digest)
                strHex += std::string(1, "0123456789abcdef"[b >> 4]) + "0123456789abcdef"[b & 15];
            EXPECT_EQ(strHex, pszHex) << strText << " in pieces of " << nChunk;
        }
    }
    // Text, its encoding, and whether it is also what the text encodes to.
    // clang-format off
    const std::tuple<std::string, std::string, bool> vectors[] = {
        {"", "", true}, {"f", "Zg==", true}, {"fo", "Zm8=", true}, {"foo", "Zm9v", true},
        {"foob", "Zm9vYg==", true}, {"fooba", "Zm9vYmE=", true}, {"foobar", "Zm9vYmFy", true},
        {"\xfb\xff\xbf", "+/+/", true}, {std::string(100, '\0'), std::string(134, 'A') + "==", true},
        {"Username:", "VXNl\r\ncm5h bWU6", false}, {std::string("A\0\0", 3), "QQ==", false},
        {"ABCD", "QUJDR", false}, {"\x03\xe0\x3e", "A*A!", false},
        {std::string("\xff\xf0\0", 3), "==AA", false}, {std::string("\0\x10\x83", 3), "\xc1\xc2\xc3\xc4", false}};
    // clang-format on
    CBase64Coder coder;
    for (const auto& [strText, strEncoded, bEncodes] : vectors) {
        coder.Decode(strEncoded.c_str());
        EXPECT_EQ(coder.GetDecoded()[coder.GetDecodedLength()], 0);
        const std::string strDecoded(reinterpret_cast<const char*>(coder.GetDecoded()),
                                     coder.GetDecodedLength());
        EXPECT_EQ(bEncodes ? strDecoded.substr(0, strText.size()) : strDecoded, strText)
            << strEncoded;
        coder.Encode(reinterpret_cast<const uint8_t*>(strText.data()), strText.size());
        EXPECT_TRUE(!bEncodes || (coder.GetEncoded() == strEncoded &&
                                  coder.GetEncodedLength() == strEncoded.size()))
            << strText;
    }
}
