#include "mail/recording_connection.h"
#include "mail/smtp_message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

// Sets TZ for one scope.
class CZone {
public:
    explicit CZone(const char* pszZone) {
        if (const char* psz = getenv("TZ"))
            m_strOld = psz, m_bHadOld = true;
        setenv("TZ", pszZone, 1);
        tzset();
    }
    ~CZone() {
        if (m_bHadOld)
            setenv("TZ", m_strOld.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string m_strOld;
    bool m_bHadOld = false;
};

constexpr time_t SAT_5_DEC_2026_100643_UTC = 1796465203;

std::string TempFile(const std::string& strContent) {
    static int s_nCount = 0;
    auto path = std::filesystem::temp_directory_path() /
                ("vantrel_part_" + std::to_string(getpid()) + "_" + std::to_string(++s_nCount));
    std::ofstream(path, std::ios::binary) << strContent;
    return path.string();
}

} // namespace

TEST(SmtpAddress, Parsing) {
    CSMTPAddress bare("  ann@example.com \t");
    EXPECT_EQ(bare.m_strAddress, "ann@example.com");
    EXPECT_EQ(bare.FormatForHeader(), "ann@example.com");
    CSMTPAddress named("\"Ann B.\" <ann@example.com> trailing words");
    EXPECT_EQ(named.m_strDisplayName, "\"Ann B.\"");
    EXPECT_EQ(named.FormatForHeader(), "\"Ann B.\" <ann@example.com>");
    EXPECT_EQ(CSMTPAddress("x <>").m_strAddress, "x <>");
    EXPECT_EQ(CSMTPAddress("a>b<c").m_strAddress, "a>b<c");
    EXPECT_EQ(CSMTPAddress("Ann < ann@x >").m_strAddress, " ann@x ");
    EXPECT_EQ(CSMTPAddress(" \r\n").m_strAddress, "");
}

TEST(SmtpMessage, RecipientLists) {
    std::vector<CSMTPAddress> arr;
    EXPECT_EQ(CSMTPMessage::SplitRecipientList("a@x.org, Bea <b@y.org>; ;", arr), 2);
    EXPECT_EQ(arr[1].m_strDisplayName, "Bea");
    EXPECT_EQ(arr[1].m_strAddress, "b@y.org");
    CSMTPMessage message;
    EXPECT_FALSE(message.AddRecipientList(""));
    EXPECT_FALSE(message.AddRecipientList(" ,; ,", RECIPIENT_CC));
    EXPECT_EQ(message.AddRecipient(CSMTPAddress("c@z.org"), 3), -1);
    EXPECT_EQ(message.GetRecipientAt(0, 3), nullptr);
    EXPECT_EQ(message.GetRecipientCount(RECIPIENT_TO) + message.GetRecipientCount(RECIPIENT_CC) +
                  message.GetRecipientCount(RECIPIENT_BCC),
              0);
    EXPECT_TRUE(message.AddRecipientList("c@z.org;d@z.org", RECIPIENT_BCC));
    EXPECT_EQ(message.GetRecipientAt(1, RECIPIENT_BCC)->m_strAddress, "d@z.org");
    // Bcc is named nowhere, an empty Cc list writes no Cc line.
    const std::string strHeader = message.BuildHeader();
    EXPECT_EQ(strHeader.find("z.org"), std::string::npos);
    EXPECT_EQ(strHeader.find("Cc:"), std::string::npos);
    EXPECT_EQ(strHeader.substr(0, 14), "From: \r\nTo: \r\n");
}

TEST(SmtpMessage, EncodedWords) {
    CSMTPMessage message;
    EXPECT_EQ(message.EncodeHeaderWord("plain = what? a_b"), "plain = what? a_b");
    EXPECT_EQ(message.EncodeHeaderWord("Caf\xe9 ok=?_"), "=?iso-8859-1?q?Caf=E9_ok=3D=3F=5F?=");
    message.m_strSubject = "H\xf4te en panne";
    message.AddRecipientList("J\xe9r\xf4me <j@x.org>");
    const std::string strHeader = message.BuildHeader();
    EXPECT_NE(strHeader.find("\r\nSubject: =?iso-8859-1?q?H=F4te_en_panne?=\r\n"),
              std::string::npos);
    EXPECT_NE(strHeader.find("\r\nTo: =?iso-8859-1?q?J=E9r=F4me_<j@x.org>?=\r\n"),
              std::string::npos);
}

TEST(SmtpMessage, DateInTheLocalZoneWithEnglishNames) {
    {
        CZone zone("IST-5:30");
        EXPECT_EQ(CSMTPMessage::FormatDate(SAT_5_DEC_2026_100643_UTC),
                  "Sat, 05 Dec 2026 15:36:43 +0530");
    }
    {
        CZone zone("NST3:30");
        EXPECT_EQ(CSMTPMessage::FormatDate(SAT_5_DEC_2026_100643_UTC),
                  "Sat, 05 Dec 2026 06:36:43 -0330");
    }
    {
        CZone zone("UTC0");
        EXPECT_EQ(CSMTPMessage::FormatDate(SAT_5_DEC_2026_100643_UTC),
                  "Sat, 05 Dec 2026 10:06:43 +0000");
    }
    CZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(CSMTPMessage::FormatDate(SAT_5_DEC_2026_100643_UTC),
              "Sat, 05 Dec 2026 11:06:43 +0100");
    EXPECT_EQ(CSMTPMessage::FormatDate(1782907200), "Wed, 01 Jul 2026 14:00:00 +0200");
}

TEST(SmtpBodyPart, TextPreparation) {
    CSMTPBodyPart part;
    part.m_strContentType = "text/html";
    part.SetText("one\ntwo\rthree\r\nfour");
    EXPECT_EQ(part.GetText(), "one\r\ntwo\r\nthree\r\nfour");
    EXPECT_EQ(part.m_strContentType, "text/plain");
    part.SetText("no line end");
    EXPECT_EQ(part.GetText(), "no line end");
    // Every line that starts with dots gets exactly one more, the first line included.
    part.SetText(".start\n.\n..two\nmid.dle");
    EXPECT_EQ(part.GetText(), "..start\r\n..\r\n...two\r\nmid.dle");
    EXPECT_EQ(CSMTPBodyPart::ReplaceAll("aaaa", "aa", "b"), "bb");
}

TEST(SmtpBodyPart, QuotedPrintable) {
    EXPECT_EQ(CSMTPBodyPart::EncodeQuotedPrintable("a=b\xe9\t c\x7f"), "a=3Db=E9\t c=7F");
    const std::string strLetters(100, 'x');
    EXPECT_EQ(CSMTPBodyPart::EncodeQuotedPrintable(strLetters + "\r\n"),
              std::string(77, 'x') + "=\r\n" + std::string(23, 'x') + "\r\n");
    // Break after the last space at or before the 78th character.
    const std::string strWords =
        std::string(70, 'w') + " " + std::string(6, 'w') + " tail" + std::string(10, 'w');
    EXPECT_EQ(CSMTPBodyPart::EncodeQuotedPrintable(strWords),
              std::string(70, 'w') + " " + std::string(6, 'w') + " =\r\ntail" +
                  std::string(10, 'w'));
    // Break after a whole escape, and never inside one.
    EXPECT_EQ(CSMTPBodyPart::EncodeQuotedPrintable(std::string(75, 'a') + "\xe9\xe9"),
              std::string(75, 'a') + "=E9=\r\n=E9");
    EXPECT_EQ(CSMTPBodyPart::EncodeQuotedPrintable(std::string(76, 'a') + "\xe9" + "bcd"),
              std::string(76, 'a') + "=\r\n=E9bcd");
    // Dots: the text's own were doubled when set; a dot that a soft break brings to a line
    // start is doubled once on the way out.
    CSMTPBodyPart part;
    part.SetText(".x\n" + std::string(77, 'a') + ".b");
    std::string strBody;
    ASSERT_TRUE(part.GetBody(strBody));
    EXPECT_EQ(strBody, "..x\r\n" + std::string(77, 'a') + "=\r\n..b");
    part.SetQuotedPrintable(false);
    ASSERT_TRUE(part.GetBody(strBody));
    EXPECT_EQ(strBody, "..x\r\n" + std::string(77, 'a') + ".b");
}

TEST(SmtpBodyPart, AttachmentsHeadersAndFooters) {
    CSMTPBodyPart root;
    CSMTPBodyPart file;
    file.m_strFileTitle = "report.bin";
    file.m_strContentType = "application/octet-stream";
    file.m_strContentId = "<id1>";
    std::string strBody;
    for (auto [nBytes, nLength] : {std::pair{57, 78u}, {58, 84u}}) {
        file.m_strFilePath = TempFile(std::string(nBytes, '\xff'));
        ASSERT_TRUE(file.GetBody(strBody));
        EXPECT_EQ(strBody.size(), nLength);
        EXPECT_EQ(strBody.substr(0, 78), std::string(76, '/') + "\r\n");
        std::filesystem::remove(file.m_strFilePath);
    }
    EXPECT_EQ(strBody.substr(78), "/w==\r\n");
    file.m_strFilePath = TempFile("");
    strBody = "left over";
    EXPECT_TRUE(file.GetBody(strBody));
    EXPECT_EQ(strBody, "");
    std::filesystem::remove(file.m_strFilePath);
    EXPECT_FALSE(file.GetBody(strBody)); // gone now
    EXPECT_EQ(GetLastError(), 2u);

    root.AddChild(file);
    CSMTPBodyPart* pChild = root.GetChildAt(0);
    EXPECT_EQ(pChild->GetParent(), &root);
    ASSERT_TRUE(pChild->BuildPartHeader(strBody));
    EXPECT_EQ(strBody, "\r\n\r\n--" + root.GetBoundary() +
                           "\r\nContent-Type: application/octet-stream; charset=iso-8859-1; "
                           "name=report.bin\r\nContent-Transfer-Encoding: base64\r\n"
                           "Content-Disposition: attachment; filename=\"report.bin\"\r\n"
                           "Content-ID: <id1>\r\n\r\n");
    ASSERT_TRUE(root.BuildPartFooter(strBody));
    EXPECT_EQ(strBody, "\r\n--" + root.GetBoundary() + "--");
    EXPECT_EQ(root.FindChildByType("APPLICATION/OCTET-STREAM"), nullptr);
    EXPECT_EQ(root.FindChildByType("application/octet-stream"), pChild);

    // A copy shares the boundary and owns copies of the children.
    CSMTPBodyPart copy(root);
    EXPECT_EQ(copy.GetBoundary(), root.GetBoundary());
    ASSERT_EQ(copy.GetChildCount(), 1);
    EXPECT_NE(copy.GetChildAt(0), pChild);
    EXPECT_EQ(copy.GetChildAt(0)->GetParent(), &copy);
    root.RemoveChildAt(0);
    EXPECT_EQ(root.GetChildCount(), 0);
    EXPECT_EQ(copy.GetChildAt(0)->m_strFileTitle, "report.bin");
    EXPECT_NE(CSMTPBodyPart().GetBoundary(), root.GetBoundary());
}

TEST(SmtpMessage, MimeModeKeepsPreparedTextAsItIs) {
    CSMTPMessage message;
    message.SetBodyText(".a\nb");
    message.SetMimeMode(true);
    EXPECT_EQ(message.m_rootPart.m_strContentType, "multipart/mixed");
    EXPECT_EQ(message.GetBodyText(), "This is a multi-part message in MIME format");
    ASSERT_EQ(message.m_rootPart.GetChildCount(), 1);
    CSMTPBodyPart* pText = message.m_rootPart.FindChildByType("text/plain");
    ASSERT_NE(pText, nullptr);
    EXPECT_EQ(pText->GetText(), "..a\r\nb");
    message.SetBodyText("new");
    EXPECT_EQ(pText->GetText(), "new");
    EXPECT_EQ(message.m_rootPart.GetChildCount(), 1);
    message.SetMimeMode(false);
    EXPECT_EQ(message.m_rootPart.GetChildCount(), 0);
    EXPECT_NE(
        message.BuildHeader().find("Content-Type: multipart/mixed;\r\n\tcharset=iso-8859-1\r\n"),
        std::string::npos);
}
