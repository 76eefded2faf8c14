// vantrelctl compare and report --chart, run as the real program on a data file the store's own
// code wrote.
#include "core/hosts_file.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "sample_host_graph.h"
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace {

class CompareCli : public ::testing::Test, public CMessageSink {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        AddSampleHosts(m_doc, 5, 40, true); // host 4 has no ping times
        std::string strError;
        ASSERT_TRUE(CHostsFile::Save(Path("v.dat"), m_doc.m_arrHosts, 0, 5, false, strError));
        QFile::copy(QString::fromStdString(Path("v.dat")), QString::fromStdString(Path("cut.dat")));
        QFile::resize(QString::fromStdString(Path("cut.dat")), 200);
    }
    void ShowMessage(const std::string&) override {}
    std::string Path(const std::string& strName) const {
        return m_dir.filePath(QString::fromStdString(strName)).toStdString();
    }
    // Runs vantrelctl in the folder; the exit status, stderr in strErr.
    int Run(const std::string& strArgs, std::string& strErr) const {
        const int nStatus = std::system(("cd '" + m_dir.path().toStdString() + "' && " +
                                         VANTRELCTL_PATH " " + strArgs + " >/dev/null 2>err")
                                            .c_str());
        QFile err(QString::fromStdString(Path("err")));
        strErr = err.open(QIODevice::ReadOnly) ? err.readAll().toStdString() : "";
        return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    }
    std::string Read(const std::string& strName) const {
        QFile file(QString::fromStdString(Path(strName)));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "(none)";
    }

    QTemporaryDir m_dir;
    CVantrelDoc m_doc{*this, nullptr};
};

TEST_F(CompareCli, ExitCodesMessagesAndImages) {
    const std::tuple<std::string, int, std::string> arrCases[] = {
        {"--hosts all --out c.png", 0, ""},
        {"--hosts 0,2,4 --out c.svg --width 640 --height 480", 0, ""},
        {"--hosts all --out c.bmp", 2, "vantrelctl: --out \"c.bmp\" must end in .png or .svg.\n"},
        {"--hosts all", 2, "vantrelctl: --out is missing.\nUsage: vantrelctl compare"},
        {"--out c.png", 2, "vantrelctl: --hosts is missing."},
        {"--hosts 5 --out c.png", 2,
         "there is no host \"5\": the data file holds 5 hosts (0 to 4)"},
        {"--hosts all --out c.png --width 50", 2,
         "vantrelctl: --width \"50\" is not a whole number of pixels from 200 to 20000.\n"},
        {"--hosts all --out c.png --height x", 2, "--height \"x\" is not a whole number"},
        {"--hosts all --out no/c.png", 1,
         "vantrelctl: Cannot save no/c.png: no such file or folder; no image was written.\n"},
        {"--data cut.dat --hosts all --out d.png", 1, "complete hosts were read.\n"},
    };
    for (const auto& [strArgs, nExit, strMessage] : arrCases) {
        SCOPED_TRACE(strArgs);
        std::string strErr;
        const std::string strData = strArgs.find("--data") == 0 ? "" : "--data v.dat ";
        EXPECT_EQ(Run("compare " + strData + strArgs, strErr), nExit);
        EXPECT_TRUE(nExit ? strErr.find(strMessage) != std::string::npos : strErr.empty())
            << strErr;
    }
    EXPECT_EQ(QImage(QString::fromStdString(Path("c.png"))).size(), QSize(900, 480 + 36 * 5));
    QXmlStreamReader xml(QByteArray::fromStdString(Read("c.svg")));
    QStringList arrTexts;
    QString strViewBox;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QStringLiteral("svg"))
            strViewBox = xml.attributes().value("viewBox").toString();
        if (xml.isCharacters())
            arrTexts << xml.text().toString();
    }
    EXPECT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    EXPECT_EQ(strViewBox, "0 0 640 480");
    EXPECT_TRUE(arrTexts.contains("Bluefin Hosting") && arrTexts.contains("Northwind Servers") &&
                arrTexts.contains("Quartz Cloud") && !arrTexts.contains("Harbor Web Services"));
    EXPECT_EQ(Read("d.png"), "(none)"); // nothing from a damaged file
}

TEST_F(CompareCli, ReportWithAndWithoutChart) {
    std::string strErr;
    ASSERT_EQ(Run("report --data v.dat --hosts 1,3 --out plain.html", strErr), 0) << strErr;
    ASSERT_EQ(Run("report --data v.dat --hosts 1,3 --out chart.html --chart", strErr), 0) << strErr;
    const std::string strPlain = Read("plain.html"), strChart = Read("chart.html");
    const size_t nTableEnd = strPlain.find("</table>") + 8;
    ASSERT_EQ(strChart.compare(0, nTableEnd, strPlain, 0, nTableEnd), 0);
    ASSERT_EQ(strChart.compare(nTableEnd, 9, "<br><svg "), 0);
    const size_t nSvgEnd = strChart.find("</svg>") + 6;
    EXPECT_EQ(strChart.substr(nSvgEnd), strPlain.substr(nTableEnd));
    EXPECT_EQ(strChart.find("<svg", nTableEnd + 5), std::string::npos);
    QXmlStreamReader xml(
        QByteArray::fromStdString(strChart.substr(nTableEnd + 4, nSvgEnd - nTableEnd - 4)));
    while (!xml.atEnd())
        xml.readNext();
    EXPECT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
}

} // namespace
