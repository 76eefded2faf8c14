#include "core/host_check.h"
#include "core/hosts_file.h"
#include "core/test_files.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace {

struct CRun {
    int nExit;
    std::string strOut;
    std::string strErr;
};

// Runs vantrelctl with folders of its own, so the user's settings and data are never used.
class VantrelctlTest : public ::testing::Test {
protected:
    CRun Run(const std::vector<std::string>& vecArgs) {
        std::string strCommand = "XDG_CONFIG_HOME='" + m_dir / "config" + "' XDG_DATA_HOME='" +
                                 m_dir / "data" + "' " VANTRELCTL_PATH;
        for (const std::string& strArg : vecArgs)
            strCommand += " '" + strArg + "'";
        strCommand += " </dev/null >'" + m_dir / "out" + "' 2>'" + m_dir / "err" + "'";
        const int nStatus = std::system(strCommand.c_str());
        return {WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1, ReadFileBytes(m_dir / "out"),
                ReadFileBytes(m_dir / "err")};
    }

    // Texts with every escape and string-length form and the extreme values import accepts,
    // then a new record.
    std::string WriteTrickyFile(const std::string& strPath) {
        CHost a, b;
        a.m_strName = "Caf\xE9 \"Quote\" back\\slash\xFF";
        a.m_strWebSite = std::string(300, 'w');
        a.m_strTestURL = std::string(70000, 'u');
        for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
            a.Answer(i) = i % 2 ? -1 : CHostCheck::GetAnswerLast(i);
        a.m_arrFeatures[36] = 1;
        a.m_nSecondsTested = 2147483647;
        a.m_nTests = 2147483647;
        a.m_nTestsUp = 2147483647;
        a.m_nPingTotal = 2147483647;
        *a.m_pPingHistory = {0, 1, 4294967295u};
        a.m_bResolved = a.m_bTesting = 1;
        std::string strError;
        EXPECT_TRUE(CHostsFile::Save(strPath, {&a, &b}, 123456, 15, false, strError)) << strError;
        return ReadFileBytes(strPath);
    }

    CTempDir m_dir;
};

} // namespace

TEST_F(VantrelctlTest, ExportThenImportReproducesTheFileByteForByte) {
    WriteFileBytes(m_dir / "e.dat", ""); // an empty list, imported as its 12 bytes
    EXPECT_EQ(Run({"export", "--data", m_dir / "e.dat"}).strOut,
              "{\n  \"run_seconds\": 0,\n  \"interval_minutes\": 5,\n  \"hosts\": []\n}\n");
    const std::pair<std::string, std::string> arrCases[] = {
        {"e.dat", U32(0) + U32(0) + U32(5)}, {"a.dat", WriteTrickyFile(m_dir / "a.dat")}};
    for (const auto& [strName, strBytes] : arrCases) {
        const CRun exported = Run({"export", "--data", m_dir / strName});
        WriteFileBytes(m_dir / "x.json", exported.strOut);
        const CRun imported = Run({"import", m_dir / "x.json", "--data", m_dir / "x.dat"});
        EXPECT_EQ(exported.nExit + imported.nExit * 10, 0) << exported.strErr << imported.strErr;
        EXPECT_EQ(exported.strErr + imported.strOut + imported.strErr, "");
        EXPECT_EQ(ReadFileBytes(m_dir / "x.dat"), strBytes) << strName;
    }
    // Texts are the file's bytes as ISO-8859-1, written as UTF-8 JSON.
    const std::string strJson = ReadFileBytes(m_dir / "x.json");
    for (const char* pszPart : {"\"name\": \"Caf\xC3\xA9 \\\"Quote\\\" back\\\\slash\xC3\xBF\"",
                                "\"ping_history\": [0, 1, 4294967295]", "\"run_seconds\": 123456",
                                "\"interval_minutes\": 15", "\"seconds_tested\": 2147483647",
                                "\"answers\": {\"storage\": 21, \"transfer\": -1, \"cost\": 51,"})
        EXPECT_NE(strJson.find(pszPart), std::string::npos) << pszPart;
}

TEST_F(VantrelctlTest, ImportErrorsNameTheKeyAndLeaveTheFileAlone) {
    const std::string strData = m_dir / "v.dat", strBad = m_dir / "bad.json";
    const std::string strBefore = WriteTrickyFile(strData);
    const std::string strJson = Run({"export", "--data", strData}).strOut;
    // The JSON with one change in the second host's record.
    auto Replace = [&strJson](const std::string& strFrom, const std::string& strTo) {
        std::string str = strJson;
        const size_t nPos = str.find(strFrom, str.find("\"name\"", str.find("\"name\"") + 1));
        return nPos == std::string::npos ? "not found: " + strFrom
                                         : str.replace(nPos, strFrom.size(), strTo);
    };
    auto Key = [&strBad](const std::string& strText) {
        return strBad + ": " + strText + "; the data file was not changed.\n";
    };
    const std::string strInt = " must be a whole number from -2147483648 to 2147483647";
    // {JSON, what stderr starts with after "vantrelctl: "}
    const std::pair<std::string, std::string> arrCases[] = {
        {Replace("\"tests_up\": 0,", ""), Key("host 1: key \"tests_up\" is missing")},
        {Replace("\"cost\": -1", "\"cost\": 1.5"), Key("host 1: key \"answers.cost\"" + strInt)},
        {Replace("\"tests\": 0", "\"tests\": \"3\""), Key("host 1: key \"tests\"" + strInt)},
        {Replace("\"ping_history\": []", "\"ping_history\": [-1]"),
         Key("host 1: key \"ping_history[0]\" must be a whole number from 0 to 4294967295")},
        {Replace("\"name\": \"\"", "\"name\": \"\\u20ac\""),
         Key("host 1: key \"name\" holds a character outside ISO-8859-1 (Latin-1)")},
        {Replace("\"website\": \"\"", "\"website\": 5"),
         Key("host 1: key \"website\" must be a text")},
        {Replace("\"features\": [0, 0,", "\"features\": [0,"),
         Key("host 1: key \"features\" must hold 37 numbers, not 36")},
        {"{\"interval_minutes\": 5, \"hosts\": []}", Key("key \"run_seconds\" is missing")},
        {"[1]", Key("the top level must be an object")},
        {"{\"run_seconds\": 0,", strBad + " is not valid JSON: "},
        {"", "cannot read " + m_dir / "none.json" + ": "}, // no such file
    };
    for (const auto& [strBadJson, strExpected] : arrCases) {
        WriteFileBytes(strBad, strBadJson);
        const CRun run =
            Run({"import", strBadJson.empty() ? m_dir / "none.json" : strBad, "--data", strData});
        EXPECT_EQ(run.nExit, 1) << strExpected;
        EXPECT_EQ(run.strErr.substr(0, 12 + strExpected.size()), "vantrelctl: " + strExpected);
        EXPECT_EQ(ReadFileBytes(strData), strBefore) << strExpected;
    }
}

TEST_F(VantrelctlTest, SampleListsAsTheHostListShowsIt) {
    // Without --data: the settings' data path, which is not written back.
    ASSERT_EQ(Run({"import", VANTREL_SOURCE_DIR "/examples/sample-hosts.json"}).nExit, 0);
    EXPECT_TRUE(std::filesystem::exists(m_dir / "data/Vantrel.dat"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "config/Vantrel Software/Vantrel.conf"));
    const CRun run = Run({"list"});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    // The first host: 36 of 40 tests up, 1027 ms over 36 pings, 11700 s.
    EXPECT_EQ(run.strOut.substr(0, run.strOut.find('\n') + 1),
              "0\tBluefin Hosting\thttp://www.example.com/\tNot Testing\t0d 3h 15m\t90.0%\t28.5 "
              "ms\n");
    EXPECT_EQ(std::count(run.strOut.begin(), run.strOut.end(), '\n'), 4);
}

TEST_F(VantrelctlTest, CheckTellsSoundFromDamagedWithExitStatus) {
    const std::string strData = m_dir / "c.dat";
    const std::string strFull = WriteTrickyFile(strData);
    const size_t nSecond = strFull.size() - 8 - (3 + 4 * 66); // where the new record starts
    const std::string strAt = std::to_string(nSecond + 7), strNone = m_dir / "none.dat";
    // {file, bytes, exit status, stdout + stderr}: cut inside the second answer of the second
    // host; stale bytes after the interval are reported but harmless.
    const std::tuple<std::string, std::string, int, std::string> arrCases[] = {
        {strData, strFull, 0, "hosts read: 2\ndamaged: no\n"},
        {strData, strFull.substr(0, nSecond + 10), 1,
         "hosts read: 1\ndamaged: yes, at byte " + strAt + " in host 1\nThe hosts data file " +
             strData + " is damaged: a number at byte " + strAt +
             " runs past the end of the file (in host 1)\n"},
        {strData, strFull + "stale", 0,
         "hosts read: 2\ndamaged: no\nignored bytes after the interval: 5\n"},
        {strNone, "", 1, "vantrelctl: Cannot read " + strNone + ": no such file or folder.\n"},
    };
    for (const auto& [strFile, strBytes, nExit, strOut] : arrCases) {
        WriteFileBytes(strData, strBytes);
        const CRun run = Run({"check", "--data", strFile});
        EXPECT_EQ(run.nExit, nExit) << strOut;
        EXPECT_EQ(run.strOut + run.strErr, strOut);
    }
    // A damaged file still lists its complete hosts, but the command fails.
    WriteFileBytes(strData, strFull.substr(0, nSecond + 10));
    const CRun list = Run({"list", "--data", strData});
    EXPECT_EQ(list.nExit, 1);
    EXPECT_NE(list.strErr.find("; 1 complete host was read.\n"), std::string::npos) << list.strErr;
    EXPECT_EQ(Run({"export", "--data", strData}).nExit, 1);
}

TEST_F(VantrelctlTest, UsageErrorsExitWithTwoAndHelpWithZero) {
    // {arguments, exit status, what stdout + stderr starts with}
    const std::tuple<std::vector<std::string>, int, std::string> arrCases[] = {
        {{}, 2, "vantrelctl: no command given\n"},
        {{"frobnicate"}, 2, "vantrelctl: unknown command \"frobnicate\""},
        {{"import"}, 2, ""},
        {{"list", "--no-such-option"}, 2, ""},
        {{"check", "--data"}, 2, ""},
        {{"--help"}, 0, "Usage: vantrelctl <command> [options]\n"},
        {{"import", "--help"}, 0, "Usage: vantrelctl import [options] FILE.json\n"}};
    for (const auto& [vecArgs, nExit, strStart] : arrCases) {
        const CRun run = Run(vecArgs);
        EXPECT_EQ(run.nExit, nExit) << ::testing::PrintToString(vecArgs);
        EXPECT_EQ((run.strOut + run.strErr).substr(0, strStart.size()), strStart);
    }
}
