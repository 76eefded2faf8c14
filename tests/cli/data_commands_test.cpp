#include "core/hosts_file.h"
#include "core/test_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct CRun {
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

// Runs vantrelctl with its own configuration and data folders, so the user's are never used.
class VantrelctlTest : public ::testing::Test {
protected:
    CRun Run(const std::vector<std::string>& vecArgs) {
        const std::string strOut = m_dir / "stdout";
        const std::string strErr = m_dir / "stderr";
        pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
            ::setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
            int nIn = ::open("/dev/null", O_RDONLY);
            int nOut = ::open(strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int nErr = ::open(strErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(nIn, 0);
            ::dup2(nOut, 1);
            ::dup2(nErr, 2);
            std::vector<char*> vecArgv{const_cast<char*>(VANTRELCTL_PATH)};
            for (const std::string& str : vecArgs)
                vecArgv.push_back(const_cast<char*>(str.c_str()));
            vecArgv.push_back(nullptr);
            ::execv(VANTRELCTL_PATH, vecArgv.data());
            ::_exit(127);
        }
        CRun run;
        int nStatus = 0;
        ::waitpid(pid, &nStatus, 0);
        run.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
        run.strOut = ReadFileBytes(strOut);
        run.strErr = ReadFileBytes(strErr);
        return run;
    }

    // A data file with texts that test every escape and every string-length form.
    void WriteTrickyFile(const std::string& strPath) {
        std::vector<std::unique_ptr<CHost>> vecHosts;
        auto pA = std::make_unique<CHost>();
        pA->m_strName = "Caf\xE9 \"Quote\" back\\slash\ttab\x01\x7F\xFF";
        pA->m_strWebSite = std::string(300, 'w');
        pA->m_strTestURL = std::string(70000, 'u');
        for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
            pA->Answer(i) = i % 2 ? -1 : i;
        pA->m_arrFeatures[0] = 1;
        pA->m_arrFeatures[36] = -7;
        pA->m_nSecondsTested = -2147483647 - 1;
        pA->m_nTests = 2147483647;
        pA->m_nTestsUp = 3;
        *pA->m_pPingHistory = {0, 1, 4294967295u};
        pA->m_nPingTotal = 0;
        pA->m_bResolved = 1;
        pA->m_bTesting = 1;
        vecHosts.push_back(std::move(pA));
        vecHosts.push_back(std::make_unique<CHost>()); // every field at its start value
        std::vector<CHost*> arr{vecHosts[0].get(), vecHosts[1].get()};
        std::string strError;
        ASSERT_TRUE(CHostsFile::Save(strPath, arr, 123456, 15, false, strError)) << strError;
    }

    CTempDir m_dir;
};

std::string SampleJson() {
    return std::string(VANTREL_SOURCE_DIR) + "/examples/sample-hosts.json";
}

} // namespace

TEST_F(VantrelctlTest, ExportThenImportReproducesTheFileByteForByte) {
    const std::string strData = m_dir / "a.dat";
    WriteTrickyFile(strData);
    CRun exported = Run({"export", "--data", strData});
    ASSERT_EQ(exported.nExit, 0) << exported.strErr;
    EXPECT_EQ(exported.strErr, "");
    // Texts are the file's bytes as ISO-8859-1, written as UTF-8 JSON.
    EXPECT_NE(exported.strOut.find("\"name\": \"Caf\xC3\xA9 \\\"Quote\\\" back\\\\slash\\u0009tab"
                                   "\\u0001\x7F\xC3\xBF\""),
              std::string::npos);
    EXPECT_NE(exported.strOut.find("\"ping_history\": [0, 1, 4294967295]"), std::string::npos);
    EXPECT_NE(exported.strOut.find("\"run_seconds\": 123456"), std::string::npos);
    EXPECT_NE(exported.strOut.find("\"interval_minutes\": 15"), std::string::npos);

    WriteFileBytes(m_dir / "a.json", exported.strOut);
    CRun imported = Run({"import", m_dir / "a.json", "--data", m_dir / "b.dat"});
    ASSERT_EQ(imported.nExit, 0) << imported.strErr;
    EXPECT_EQ(imported.strOut + imported.strErr, "");
    EXPECT_EQ(ReadFileBytes(m_dir / "b.dat"), ReadFileBytes(strData));
}

TEST_F(VantrelctlTest, EmptyListExportsAndImportsAsTwelveBytes) {
    WriteFileBytes(m_dir / "e.dat", "");
    CRun exported = Run({"export", "--data", m_dir / "e.dat"});
    ASSERT_EQ(exported.nExit, 0);
    EXPECT_EQ(exported.strOut, "{\n  \"run_seconds\": 0,\n  \"interval_minutes\": 5,\n"
                               "  \"hosts\": []\n}\n");
    WriteFileBytes(m_dir / "e.json", exported.strOut);
    ASSERT_EQ(Run({"import", m_dir / "e.json", "--data", m_dir / "f.dat"}).nExit, 0);
    EXPECT_EQ(ReadFileBytes(m_dir / "f.dat"), CBytes().U32(0).U32(0).U32(5).Str());
}

TEST_F(VantrelctlTest, ImportErrorsNameTheKeyAndLeaveTheFileAlone) {
    const std::string strData = m_dir / "v.dat";
    WriteTrickyFile(strData);
    const std::string strBefore = ReadFileBytes(strData);
    CRun exported = Run({"export", "--data", strData});
    ASSERT_EQ(exported.nExit, 0);
    const std::string strJson = exported.strOut;
    auto Replace = [&strJson](const std::string& strFrom, const std::string& strTo) {
        std::string str = strJson;
        // The second host's copy of the key.
        size_t nPos = str.find(strFrom, str.find("\"name\"", str.find("\"name\"") + 1));
        EXPECT_NE(nPos, std::string::npos) << strFrom;
        return str.replace(nPos, strFrom.size(), strTo);
    };
    const std::pair<std::string, std::string> arrCases[] = {
        {Replace("\"tests_up\": 0,", ""), "host 1: key \"tests_up\" is missing"},
        {Replace("\"cost\": -1", "\"cost\": \"3\""),
         "host 1: key \"answers.cost\" must be a whole number from -2147483648 to 2147483647"},
        {Replace("\"tests\": 0", "\"tests\": 1.5"),
         "host 1: key \"tests\" must be a whole number from -2147483648 to 2147483647"},
        {Replace("\"ping_history\": []", "\"ping_history\": [-1]"),
         "host 1: key \"ping_history[0]\" must be a whole number from 0 to 4294967295"},
        {Replace("\"name\": \"\"", "\"name\": \"\\u20ac\""),
         "host 1: key \"name\" holds a character outside ISO-8859-1 (Latin-1)"},
        {Replace("\"website\": \"\"", "\"website\": 5"), "host 1: key \"website\" must be a text"},
        {Replace("\"features\": [0, 0, 0,", "\"features\": [0, 0,"),
         "host 1: key \"features\" must hold 37 numbers, not 36"},
        {"{\"interval_minutes\": 5, \"hosts\": []}", "key \"run_seconds\" is missing"},
        {"{\"run_seconds\": 0, \"interval_minutes\": 5, \"hosts\": {}}",
         "key \"hosts\" must be an array"},
        {"[1]", "the top level must be an object"},
    };
    for (const auto& [strBad, strMessage] : arrCases) {
        WriteFileBytes(m_dir / "bad.json", strBad);
        CRun run = Run({"import", m_dir / "bad.json", "--data", strData});
        EXPECT_EQ(run.nExit, 1) << strMessage;
        EXPECT_EQ(run.strErr, "vantrelctl: " + (m_dir / "bad.json") + ": " + strMessage +
                                  "; the data file was not changed.\n");
        EXPECT_EQ(ReadFileBytes(strData), strBefore) << strMessage;
    }

    WriteFileBytes(m_dir / "bad.json", "{\"run_seconds\": 0,");
    CRun invalid = Run({"import", m_dir / "bad.json", "--data", strData});
    EXPECT_EQ(invalid.nExit, 1);
    EXPECT_EQ(
        invalid.strErr.rfind("vantrelctl: " + (m_dir / "bad.json") + " is not valid JSON: ", 0), 0u)
        << invalid.strErr;
    CRun missing = Run({"import", m_dir / "none.json", "--data", strData});
    EXPECT_EQ(missing.nExit, 1);
    EXPECT_EQ(ReadFileBytes(strData), strBefore);
}

TEST_F(VantrelctlTest, ListShowsTheHostListTexts) {
    const std::string strData = m_dir / "s.dat";
    ASSERT_EQ(Run({"import", SampleJson(), "--data", strData}).nExit, 0);
    CRun run = Run({"list", "--data", strData});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    // The sample's first host: 36 of 40 tests up, 1027 ms over 36 pings, 11700 s.
    EXPECT_EQ(run.strOut.substr(0, run.strOut.find('\n') + 1),
              "0\tBluefin Hosting\thttp://www.example.com/\tNot Testing\t0d 3h 15m\t90.0%\t28.5 "
              "ms\n");
    EXPECT_EQ(std::count(run.strOut.begin(), run.strOut.end(), '\n'), 4);
}

TEST_F(VantrelctlTest, SampleIsMadeUpAndNotUnderTest) {
    const std::string strData = m_dir / "s.dat";
    CRun run = Run({"import", SampleJson(), "--data", strData});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    std::vector<CHost*> arrHosts;
    int32_t nRun = 0, nInterval = 0;
    ASSERT_EQ(CHostsFile::Load(strData, arrHosts, nRun, nInterval).m_eResult, CHostsFile::LOAD_OK);
    EXPECT_GE(arrHosts.size(), 3u);
    for (CHost* pHost : arrHosts) {
        for (const std::string& strUrl : {pHost->m_strWebSite, pHost->m_strTestURL}) {
            const std::string strHost = strUrl.substr(7, strUrl.find('/', 7) - 7);
            const bool bExample = strHost.ends_with("example.com") ||
                                  strHost.ends_with("example.org") ||
                                  strHost.ends_with("example.net");
            EXPECT_TRUE(strUrl.starts_with("http://") && bExample) << strUrl;
        }
        EXPECT_EQ(pHost->m_bTesting, 0);
        EXPECT_LE(pHost->m_nTestsUp, pHost->m_nTests);
        uint32_t nTotal = 0;
        for (uint32_t nPing : *pHost->m_pPingHistory)
            nTotal += nPing;
        EXPECT_EQ(static_cast<int32_t>(nTotal), pHost->m_nPingTotal);
        EXPECT_FALSE(pHost->m_pPingHistory->empty());
        for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
            EXPECT_GE(pHost->Answer(i), 0);
        delete pHost;
    }
}

TEST_F(VantrelctlTest, CheckTellsSoundFromDamaged) {
    const std::string strData = m_dir / "c.dat";
    WriteTrickyFile(strData);
    CRun sound = Run({"check", "--data", strData});
    EXPECT_EQ(sound.nExit, 0);
    EXPECT_EQ(sound.strOut, "hosts read: 2\ndamaged: no\n");

    // Cut inside the second answer of the second host.
    const std::string strFull = ReadFileBytes(strData);
    const size_t nSecond = strFull.size() - 8 - (3 + 4 * 66);
    WriteFileBytes(strData, strFull.substr(0, nSecond + 10));
    CRun damaged = Run({"check", "--data", strData});
    EXPECT_EQ(damaged.nExit, 1);
    EXPECT_EQ(damaged.strOut,
              "hosts read: 1\ndamaged: yes, at byte " + std::to_string(nSecond + 7) +
                  " in host 1\nThe hosts data file " + strData + " is damaged: a number at byte " +
                  std::to_string(nSecond + 7) + " runs past the end of the file (in host 1)\n");

    // Stale bytes after the interval are reported but harmless.
    WriteFileBytes(strData, strFull + "stale");
    CRun stale = Run({"check", "--data", strData});
    EXPECT_EQ(stale.nExit, 0);
    EXPECT_EQ(stale.strOut, "hosts read: 2\ndamaged: no\nignored bytes after the interval: 5\n");

    CRun missing = Run({"check", "--data", m_dir / "none.dat"});
    EXPECT_EQ(missing.nExit, 1);
    EXPECT_EQ(missing.strOut, "");
    EXPECT_EQ(missing.strErr,
              "vantrelctl: Cannot read " + (m_dir / "none.dat") + ": no such file or folder.\n");
}

TEST_F(VantrelctlTest, DamagedInputStillListsTheCompleteHostsButFails) {
    const std::string strData = m_dir / "d.dat";
    WriteTrickyFile(strData);
    const std::string strFull = ReadFileBytes(strData);
    WriteFileBytes(strData, strFull.substr(0, strFull.size() - 20));
    CRun list = Run({"list", "--data", strData});
    EXPECT_EQ(list.nExit, 1);
    EXPECT_EQ(std::count(list.strOut.begin(), list.strOut.end(), '\n'), 1);
    EXPECT_NE(list.strErr.find("is damaged"), std::string::npos);
    EXPECT_NE(list.strErr.find("1 complete hosts were read."), std::string::npos);
    CRun exported = Run({"export", "--data", strData});
    EXPECT_EQ(exported.nExit, 1);
}

TEST_F(VantrelctlTest, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Run({}).nExit, 2);
    CRun unknown = Run({"frobnicate"});
    EXPECT_EQ(unknown.nExit, 2);
    EXPECT_EQ(unknown.strErr.rfind("vantrelctl: unknown command \"frobnicate\"", 0), 0u);
    EXPECT_EQ(Run({"import"}).nExit, 2);
    EXPECT_EQ(Run({"import", "a.json", "b.json"}).nExit, 2);
    EXPECT_EQ(Run({"list", "extra"}).nExit, 2);
    EXPECT_EQ(Run({"list", "--no-such-option"}).nExit, 2);
    EXPECT_EQ(Run({"check", "--data"}).nExit, 2);

    CRun help = Run({"--help"});
    EXPECT_EQ(help.nExit, 0);
    for (const char* pszVerb : {"list", "export", "import", "check"})
        EXPECT_NE(help.strOut.find(std::string("\n  ") + pszVerb + " "), std::string::npos);
    CRun verbHelp = Run({"import", "--help"});
    EXPECT_EQ(verbHelp.nExit, 0);
    EXPECT_EQ(verbHelp.strOut.rfind("Usage: vantrelctl import [options] FILE.json\n", 0), 0u);
}

TEST_F(VantrelctlTest, DefaultDataFileFollowsTheSettingsWithoutWritingThem) {
    CRun run = Run({"import", SampleJson()});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_TRUE(std::filesystem::exists(m_dir / "data/Vantrel.dat"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "config/Vantrel Software/Vantrel.conf"));
    EXPECT_EQ(Run({"check"}).strOut, "hosts read: 4\ndamaged: no\n");
}
