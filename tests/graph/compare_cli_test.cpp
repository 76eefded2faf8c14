// vantrelctl compare and report --chart, run as the real program on a data file the store wrote.
#include "core/hosts_file.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "sample_host_graph.h"
#include <QImage>
#include <gtest/gtest.h>

TEST(CompareCli, ExitCodesMessagesAndImages) {
    CSampleSink sink;
    CVantrelDoc doc(sink, nullptr);
    AddSampleHosts(doc, 5, 40, true); // host 4 has no ping times
    // A name as a damaged file may hold: escaped in the SVG, its NUL and ESC left out.
    doc.m_arrHosts[2]->m_strName = std::string("R&D <Host\0ing> \x1b\"Caf\xe9\"", 22);
    CTempDir dir;
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(dir / "v.dat", doc.m_arrHosts, 0, 5, false, strError));
    WriteFileBytes(dir / "cut.dat", ReadFileBytes(dir / "v.dat").substr(0, 200));
    auto Run = [&dir](const std::string& strArgs) {
        return RunShell(dir, "cd '" + dir.Path() + "' && " VANTRELCTL_PATH " " + strArgs);
    };
    const std::tuple<std::string, int, std::string> arrCases[] = {
        {"--hosts all --out c.png", 0, ""},
        {"--hosts 0,2,4 --out c.svg --width 640 --height 480", 0, ""},
        {"--hosts all --out c.bmp", 2, "vantrelctl: --out \"c.bmp\" must end in .png or .svg.\n"},
        {"--hosts all", 2, "vantrelctl: --out is missing.\nUsage: vantrelctl compare"},
        {"--hosts all --out c.png --width 50", 2,
         "vantrelctl: --width \"50\" is not a whole number of pixels from 200 to 20000.\n"},
        {"--hosts all --out no/c.png", 1,
         "vantrelctl: Cannot save no/c.png: no such file or folder; no image was written.\n"},
        {"--data cut.dat --hosts all --out d.png", 1, "complete hosts were read.\n"},
    };
    for (const auto& [strArgs, nExit, strMessage] : arrCases) {
        SCOPED_TRACE(strArgs);
        const CShellRun run =
            Run("compare " + std::string(strArgs.starts_with("--data") ? "" : "--data v.dat ") +
                strArgs + " >/dev/null");
        EXPECT_EQ(run.nExit, nExit);
        EXPECT_TRUE(nExit ? run.strErr.find(strMessage) != std::string::npos : run.strErr.empty())
            << run.strErr;
    }
    EXPECT_EQ(QImage(QString::fromStdString(dir / "c.png")).size(), QSize(900, 480 + 36 * 5));
    const std::string strSvg = ReadFileBytes(dir / "c.svg");
    EXPECT_NE(strSvg.find("viewBox=\"0 0 640 480\""), std::string::npos);
    for (const char* pszName : {">Bluefin Hosting</text>", ">Quartz Cloud</text>",
                                ">R&amp;D &lt;Hosting&gt; &quot;Caf\xC3\xA9&quot;</text>"})
        EXPECT_NE(strSvg.find(pszName), std::string::npos) << pszName;
    EXPECT_EQ(strSvg.find("Harbor Web Services"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "d.png")); // nothing from a damaged file
    // report --chart: a chart after the table (its bytes are the report command's to check).
    ASSERT_EQ(Run("report --data v.dat --hosts 1,3 --out r.html --chart").nExit, 0);
    EXPECT_NE(ReadFileBytes(dir / "r.html").find("</table><br><svg "), std::string::npos);
}
