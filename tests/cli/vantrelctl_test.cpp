// vantrelctl as users run it, among other users and hostile input: what it writes, what it
// refuses, and the bytes of every file afterwards.
#include "core/history_store.h"
#include "core/host_check.h"
#include "core/hosts_file.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "report/report_fixtures.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Runs vantrelctl in a folder of its own with settings, data and runtime folders (the
// single-instance guard's included) of its own: the user's are never used. v.dat holds one tested
// host, x.json its export.
class VantrelctlTest : public ::testing::Test {
protected:
    void SetUp() override {
        CHost host;
        host.m_strName = "Acme", host.m_strTestURL = "http://127.0.0.1:1/", host.m_bTesting = 1;
        std::string strError;
        ASSERT_TRUE(CHostsFile::Save(m_dir / "v.dat", {&host}, 0, 5, false, strError)) << strError;
        m_strData = ReadFileBytes(m_dir / "v.dat");
        Shell(Cli("export --data v.dat >x.json"));
    }
    // A shell command line run in the test's folder.
    CShellRun Shell(const std::string& strLine) {
        return RunShell(m_dir, "cd '" + m_dir.Path() +
                                   "' || exit 99; umask 022; export XDG_CONFIG_HOME='" +
                                   m_dir / "config" + "' XDG_DATA_HOME='" + m_dir / "data" +
                                   "' XDG_RUNTIME_DIR='" + m_dir.Path() + "'; " + strLine);
    }
    // A command that blocks ends after 60 s with 124.
    static std::string Cli(const std::string& strArgs) {
        return "timeout 60 " VANTRELCTL_PATH " " + strArgs;
    }
    // "exit status|stdout and stderr" of a vantrelctl command line, run with strEnv's variables.
    std::string Say(const std::string& strArgs, const std::string& strEnv = "") {
        const CShellRun run = Shell(strEnv + Cli(strArgs));
        return std::to_string(run.nExit) + "|" + run.strOut + run.strErr;
    }
    // Texts with every escape, the longest text and the extreme values import accepts,
    // then a new record.
    std::string WriteTrickyFile(const std::string& strName) {
        CHost a, b;
        a.m_strName = "Caf\xE9 \"Quote\" back\\slash\xFF";
        a.m_strWebSite = std::string(300, 'w'), a.m_strTestURL = std::string(2048, 'u');
        for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
            a.Answer(i) = i % 2 ? -1 : CHostCheck::GetAnswerLast(i);
        a.m_arrFeatures[36] = 1;
        a.m_nSecondsTested = a.m_nTests = a.m_nTestsUp = a.m_nPingTotal = 2147483647;
        *a.m_pPingHistory = {0, 1, 4294967295u};
        a.m_bResolved = a.m_bTesting = 1;
        std::string strError;
        EXPECT_TRUE(CHostsFile::Save(m_dir / strName, {&a, &b}, 123456, 15, false, strError));
        return ReadFileBytes(m_dir / strName);
    }
    // "regular file 600 <bytes>", "symbolic link 777", "fifo 600", ...; "" for nothing there.
    std::string Describe(const std::string& strName) {
        std::string str = Shell("stat -c '%F %a' '" + strName + "'").strOut;
        str = str.substr(0, str.find('\n'));
        return str.starts_with("regular") ? str + " " + ReadFileBytes(m_dir / strName) : str;
    }

    CTempDir m_dir;
    std::string m_strData; // the bytes of v.dat
};

} // namespace

// Special files are refused at once (a FIFO would block open() for ever), and output that
// cannot be written fails the command. A file holding values import refuses still loads: check
// names each one, list shows control characters visibly and cuts a name longer than import takes.
TEST_F(VantrelctlTest, CheckTellsSoundFromDamagedAndSpecialFilesFail) {
    const std::string strFull = WriteTrickyFile("c.dat");
    CHost a, b;
    a.m_strName = "Tab\tName\x1b[2J\rOK\x85", a.m_nTests = 4, a.m_nTestsUp = 9;
    a.m_nPingTotal = -10, *a.m_pPingHistory = {5, 5};
    b.m_strName = std::string(3000, 'n');
    b.m_nStorage = 22, b.m_bTesting = 7, b.m_nTests = 4, b.m_nTestsUp = 3;
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(m_dir / "o.dat", {&a, &b}, 0, 0, false, strError));
    const std::string strOdd = ReadFileBytes(m_dir / "o.dat");
    ASSERT_EQ(::mkfifo((m_dir / "fifo.dat").c_str(), 0600), 0);
    for (const std::string strVerb : {"list", "check", "export"}) {
        EXPECT_EQ(Say(strVerb + " --data fifo.dat"),
                  "1|vantrelctl: Cannot read fifo.dat: it is not a regular file.\n");
        EXPECT_EQ(Say(strVerb + " --data 'n\xe9.dat'"), // a file name is bytes, not UTF-8
                  "1|vantrelctl: Cannot read n\\xe9.dat: no such file or folder.\n");
        EXPECT_EQ(Say(strVerb + " --data c.dat >/dev/full"),
                  "1|vantrelctl: cannot write to standard output\n");
    }
    const size_t nSecond = strFull.size() - 8 - (3 + 4 * 66); // where the new record starts
    const std::string strAt = std::to_string(nSecond + 7);
    // Stale bytes after the interval are reported but harmless; the cut is inside the second
    // answer of the second host.
    const std::pair<std::string, std::string> arrCases[] = {
        {strFull, "0|hosts read: 2\ndamaged: no\n"},
        {strFull + "stale", "0|hosts read: 2\ndamaged: no\nignored bytes after the interval: 5\n"},
        {strOdd, "1|hosts read: 2\ndamaged: no\n"
                 "host 0: key \"name\" holds a control character\n"
                 "host 0: key \"tests_up\" must not be greater than \"tests\" (4)\n"
                 "host 0: key \"ping_total\" must be a whole number from 0 to 2147483647\n"
                 "host 1: key \"name\" is longer than 2048 bytes (3000)\n"
                 "host 1: key \"answers.storage\" must be a whole number from -1 to 21\n"
                 "host 1: key \"testing\" must be 0 or 1\n"
                 "key \"interval_minutes\" must be a whole number from 1 to 60\n"},
        {strFull.substr(0, nSecond + 10),
         "1|hosts read: 1\ndamaged: yes, at byte " + strAt +
             " in host 1\nThe hosts data file c.dat is damaged: a number at byte " + strAt +
             " runs past the end of the file (in host 1)\n"},
    };
    for (const auto& [strBytes, strOut] : arrCases) {
        WriteFileBytes(m_dir / "c.dat", strBytes);
        EXPECT_EQ(Say("check --data c.dat"), strOut);
    }
    EXPECT_EQ(Say("list --data o.dat"),
              "0|0\tTab\\tName\\x1b[2J\\rOK\\x85\t\tNot Testing\t0d 0h 0m\t100.0%\t0.0 ms\n1\t" +
                  std::string(2048, 'n') + "\t\tTesting - Unknown\t0d 0h 0m\t75.0%\t- ms\n");
    const std::string strExport = Say("export --data o.dat");
    EXPECT_TRUE(strExport.starts_with("0|{") &&
                strExport.find("\"name\": \"Tab\\u0009Name\\u001b[2J") != std::string::npos)
        << strExport.substr(0, 160);
    EXPECT_EQ(ReadFileBytes(m_dir / "o.dat"), strOdd);
    // A damaged file still lists its complete hosts, but the command fails.
    const std::string strList = Say("list --data c.dat");
    EXPECT_TRUE(strList.starts_with("1|0\t") && strList.ends_with("; 1 complete host was read.\n"))
        << strList;
    for (const std::string strVerb : {"export", "report --hosts 0 --out r.html"})
        EXPECT_EQ(Say(strVerb + " --data c.dat").substr(0, 2), "1|") << strVerb;
    // So does run, which starts a new list; the damaged copy holds the user's hosts too:
    // owner-only even beside a readable data file.
    WriteFileBytes(m_dir / "c.dat", m_strData.substr(0, 20));
    ASSERT_EQ(::chmod((m_dir / "c.dat").c_str(), 0644), 0);
    EXPECT_EQ(Say("run --data c.dat --cycles 1 --minute-ms 1 >/dev/null"),
              "1|vantrelctl: Cannot load hosts data, will re-create the list\n");
    EXPECT_EQ(Describe("c.dat.damaged"), "regular file 600 " + m_strData.substr(0, 20));
    EXPECT_EQ(Describe("c.dat"), "regular file 644 " + U32(0) + U32(0) + U32(5));
}

// Export then import gives the file back byte for byte. Each refused import names the host and
// key and leaves the data file's bytes alone; the rules shared with check are proven there.
TEST_F(VantrelctlTest, ImportTakesBackWhatExportWroteAndRefusesBadValues) {
    WriteFileBytes(m_dir / "e.dat", ""); // an empty list
    EXPECT_EQ(Say("export --data e.dat"),
              "0|{\n  \"run_seconds\": 0,\n  \"interval_minutes\": 5,\n  \"hosts\": []\n}\n");
    const std::string strBefore = WriteTrickyFile("v.dat");
    EXPECT_EQ(Say("export --data v.dat >x.json && " + Cli("import x.json --data x.dat")), "0|");
    EXPECT_EQ(ReadFileBytes(m_dir / "x.dat"), strBefore);
    // Texts are the file's bytes as ISO-8859-1, written as UTF-8 JSON.
    const std::string strJson = ReadFileBytes(m_dir / "x.json");
    for (const char* pszPart : {"\"name\": \"Caf\xC3\xA9 \\\"Quote\\\" back\\\\slash\xC3\xBF\"",
                                "\"ping_history\": [0, 1, 4294967295]",
                                "\"answers\": {\"storage\": 21, \"transfer\": -1, \"cost\": 51,"})
        EXPECT_NE(strJson.find(pszPart), std::string::npos) << pszPart;
    // The last "strKey": strFrom (the second host's, or the file's) made "strKey": strTo, or left
    // out when strTo is empty; and what import says of that after "vantrelctl: ".
    const std::string NOT_CHANGED = "; the data file was not changed.\n";
    auto Bad = [&](const std::string& strKey, const std::string& strFrom, const std::string& strTo,
                   const std::string& strComplaint) {
        std::string str = strJson, strOld = "\"" + strKey + "\": " + strFrom;
        // Throws, failing the test, when strOld is not there.
        str.replace(str.rfind(strOld), strOld.size(),
                    strTo.empty() ? "" : strOld.substr(0, strKey.size() + 4) + strTo);
        return std::pair(str, "bad.json: " + strComplaint + NOT_CHANGED);
    };
    const std::string strHost = "host 1: key ", strInt = "\" must be a whole number from ";
    // {JSON, or '@' and the file to import; what follows "vantrelctl: ": all of it, or the start
    // of it without a line end}
    const std::pair<std::string, std::string> arrRows[] = {
        Bad("tests_up", "0", "1", strHost + "\"tests_up\" must not be greater than \"tests\" (0)"),
        Bad("tests_up", "0,", "", strHost + "\"tests_up\" is missing"),
        Bad("name", "\"\"", "\"\\u20ac\"",
            strHost + "\"name\" holds a character outside ISO-8859-1 (Latin-1)"),
        Bad("website", "\"\"", "\"Ac\\u0085me\"",
            strHost + "\"website\" holds a control character"),
        Bad("features", "[0,", "[2,", strHost + "\"features[0]\" must be 0 or 1"),
        Bad("ping_history", "[]", "[-1]",
            strHost + "\"ping_history[0]" + strInt + "0 to 4294967295"),
        Bad("interval_minutes", "15", "61", "key \"interval_minutes" + strInt + "1 to 60"),
        Bad("run_seconds", "123456", "-1", "key \"run_seconds" + strInt + "0 to 2147483647"),
        {"{\"run_seconds\": 0,", "bad.json is not valid JSON: "},
        {"@none.json", "cannot read none.json: "},
        {"@/dev/zero", "cannot read /dev/zero: it is a device, not a document" + NOT_CHANGED},
        {"@-", "cannot read -: it is larger than 256 MB" + NOT_CHANGED}, // endless input
    };
    for (const auto& [strBadJson, strExpected] : arrRows) {
        WriteFileBytes(m_dir / "bad.json", strBadJson);
        const std::string strFrom = strBadJson.starts_with('@') ? strBadJson.substr(1) : "bad.json";
        const CShellRun run = Shell((strFrom == "-" ? "yes '[' | " : "") +
                                    Cli("import " + strFrom + " --data v.dat"));
        const std::string strOut = std::to_string(run.nExit) + "|" + run.strOut + run.strErr;
        EXPECT_EQ(strExpected.ends_with('\n') ? strOut : strOut.substr(0, 14 + strExpected.size()),
                  "1|vantrelctl: " + strExpected);
        EXPECT_EQ(ReadFileBytes(m_dir / "v.dat"), strBefore) << strExpected;
    }
    // The bounds themselves are accepted.
    for (const char* pszTo : {"60", "1"}) {
        WriteFileBytes(m_dir / "bad.json", Bad("interval_minutes", "15", pszTo, "").first);
        EXPECT_EQ(Say("import bad.json --data v.dat"), "0|") << pszTo;
    }
}

// vantrelctl run holds the guard of its data file, whatever the environment of the next writer:
// an import into that file now would be written over (one into another file would not), a
// second run would compete with it. It saves on SIGHUP (the terminal closed) and exits 0; a
// reader that went away (run | true) ends it after a save, with exit 1 instead of by SIGPIPE.
// Under systemd, stderr is the journal's stream (JOURNAL_STREAM names its device and inode):
// every line then carries its syslog priority; a variable naming another file changes nothing.
TEST_F(VantrelctlTest, RunHoldsItsFileAndSavesOnHangUpAndLostOutput) {
    // Its first line (the first cycle) comes after it took the guard.
    Shell(": >err.txt; { JOURNAL_STREAM=$(stat -c %d:%i err.txt) " VANTRELCTL_PATH
          " run --data v.dat --minute-ms 600000 >run.txt 2>>err.txt & echo $! >pid.txt; wait $!; "
          "echo $? >status.txt; } & "
          "for i in $(seq 300); do [ -s run.txt ] && break; sleep 0.1; done");
    const std::string strImport = VANTRELCTL_PATH " import x.json --data ";
    const std::string strRefused = "1|vantrelctl: Vantrel is running; close it before importing.\n";
    const std::pair<std::string, std::string> arrCases[] = {
        {strImport + "v.dat", strRefused},
        {"env -i HOME='" + m_dir.Path() + "' " + strImport + "v.dat", strRefused}, // as cron
        {"mkdir o && env -i " + strImport + "./o/../v.dat", strRefused},
        {strImport + "w.dat", "0|"},
        {"JOURNAL_STREAM=1:1 " VANTRELCTL_PATH " run --cycles 1 --data v.dat", // not the journal
         "1|vantrelctl: Vantrel is already running; its test engine would compete with this "
         "one.\n"}};
    for (const auto& [strLine, strOut] : arrCases) {
        const CShellRun run = Shell(strLine);
        EXPECT_EQ(std::to_string(run.nExit) + "|" + run.strOut + run.strErr, strOut) << strLine;
        EXPECT_EQ(ReadFileBytes(m_dir / "v.dat"), m_strData) << strLine;
    }
    EXPECT_EQ(ReadFileBytes(m_dir / "w.dat"), m_strData);
    EXPECT_EQ(Shell("kill -HUP $(cat pid.txt); for i in $(seq 600); do [ -s status.txt ] && break; "
                    "sleep 0.1; done; cat status.txt err.txt")
                  .strOut,
              "0\n<6>vantrelctl: stopping after the test in progress\n");
    const auto Tests = [this] { // of the host, or -1 when the file cannot be read
        const std::string str = Say("export --data v.dat");
        return str.starts_with("0|") ? std::stoi(str.substr(str.find("\"tests\": ") + 9)) : -1;
    };
    EXPECT_EQ(Tests(), 1); // the cycle before the signal is kept
    EXPECT_EQ(
        Shell("{ " + Cli("run --data v.dat --minute-ms 1") + "; echo $? >&2; } | true").strErr,
        "vantrelctl: cannot write to standard output; stopping after the test in progress\n1\n");
    EXPECT_GE(Tests(), 2);
    EXPECT_EQ(Say("import x.json --data v.dat"), "0|");
}

// Usage errors exit with 2 and test nothing: run --cycles 0 would never end on its own, --metrics
// needs its address written out and a free port.
TEST_F(VantrelctlTest, UsageErrorsExitWithTwoAndLeaveTheFileAlone) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); // a port in use
    sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t nLength = sizeof(addr);
    ASSERT_TRUE(bind(fd, reinterpret_cast<sockaddr*>(&addr), nLength) == 0 && listen(fd, 1) == 0 &&
                getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLength) == 0);
    const std::string strBusy = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    const std::string strRun = "run --data v.dat --cycles 1 ",
                      strReport = "report --data v.dat --out r.html ";
    // {arguments, what stdout + stderr starts with}
    const std::pair<std::string, std::string> arrCases[] = {
        {"", "vantrelctl: no command given\n"},
        {"frobnicate", "vantrelctl: unknown command \"frobnicate\""},
        {"run --cycles 0", "vantrelctl: --cycles needs a whole number of cycles, 1 or more\n"},
        {strRun + "--metrics example.com:9891",
         "vantrelctl: --metrics takes ADDRESS:PORT with the address written out, such as "
         "127.0.0.1:9464 or [::1]:9464\n"},
        {strRun + "--location east",
         "vantrelctl: --location labels the figures of --metrics; give both\n"},
        {strRun + "--metrics " + strBusy,
         "vantrelctl: cannot listen for metrics on " + strBusy + ": Address already in use\n"},
        {strReport, "vantrelctl: --hosts is missing.\n"},
        {strReport + "--hosts 4",
         "vantrelctl: there is no host \"4\": the data file holds 1 host (index 0); give indices "
         "as 'vantrelctl list' shows them, or all.\n"},
        {strReport + "--hosts 0 --weights 10,10,10,10,10,10,10,10",
         "vantrelctl: --weights needs 9 numbers separated by commas (storage, bandwidth, 12-month "
         "cost, e-mail features, support, redundancy, general hosting features, connection speed, "
         "uptime), not 8.\n"},
        {strReport + "--hosts 0 --weights 10,10,0,10,10,10,10,10,10",
         "vantrelctl: weight \"0\" is not a whole number from 1 to 10 (weight 3 of 9).\n"},
    };
    for (const auto& [strArgs, strStart] : arrCases)
        EXPECT_EQ(Say(strArgs).substr(0, 2 + strStart.size()), "2|" + strStart);
    EXPECT_EQ(ReadFileBytes(m_dir / "v.dat"), m_strData);
    EXPECT_EQ(Describe("r.html"), "");
    close(fd);
}

// The report of the store's own data file and history is the expected document, also under a
// German number format where one can be built: the user's locale must not make "%.1f" a comma.
TEST_F(VantrelctlTest, ReportIsTheExpectedDocumentInAnyLocale) {
    std::ofstream(m_dir / "lsan.supp") << "leak:__argz_add_sep\n"; // setlocale leaks with LOCPATH
    const std::string strEnv =
        Shell("localedef -i de_DE -f UTF-8 ./de").nExit
            ? ""
            : "LOCPATH=. LC_ALL=de LSAN_OPTIONS=print_suppressions=0:suppressions=lsan.supp ";
    CReportHosts hosts;
    MakeThreeHosts(hosts);
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(m_dir / "r.dat", hosts.Hosts(), 0, 5, false, strError))
        << strError;
    FillHistory(m_dir / "r.dat.history", hosts.Hosts(), ::time(nullptr)); // the same for days
    const std::string strArgs = "report --data r.dat --out r.html --hosts 3,0,2 --weights ";
    EXPECT_EQ(Say(strArgs + "' 10,5,7,2,3,6,8,9,1'", strEnv), "0|");
    EXPECT_EQ(ReadFile(m_dir / "r.html"),
              ReadFile(VANTREL_REPORT_TEST_DATA "/data/three_hosts.html"));
    // With the history: the expected document but for the dates.
    const auto Undated = [](std::string str) {
        const size_t n = str.find("Test period: ") + 13;
        return str.erase(n, str.find(" UTC.", n) - n);
    };
    const std::string strHistory =
        Undated(ReadFile(VANTREL_REPORT_TEST_DATA "/data/three_hosts_history.html"));
    EXPECT_EQ(Say(strArgs + "10,5,7,2,3,6,8,9,1 --history", strEnv), "0|");
    EXPECT_EQ(Undated(ReadFile(m_dir / "r.html")), strHistory);
    // No history beside the data file: refused, and the last report stays.
    EXPECT_EQ(Say("report --data v.dat --out r.html --hosts 0 --history"),
              "1|vantrelctl: Cannot open the test history v.dat.history: no such file or folder; "
              "no report was written.\n");
    EXPECT_EQ(Undated(ReadFile(m_dir / "r.html")), strHistory);
}

// The recorded tests of a host and the outages, with the data file's texts as UTF-8; check names
// the history's state; import keeps the histories of the hosts it keeps.
TEST_F(VantrelctlTest, HistoryAndOutagesWriteTheRecordedTests) {
    CHost a, b;
    a.m_strName = "Caf\xE9, \"A\"", a.m_strTestURL = "https://a.example/";
    b.m_strName = "B", b.m_strTestURL = "http://b.example/";
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(m_dir / "v.dat", {&a, &b}, 0, 5, false, strError)) << strError;
    const std::string strHistory = m_dir / "v.dat.history";
    const int64_t t0 = 1796083200; // 2026-12-01T00:00:00Z
    {
        CHistoryStore history;
        ASSERT_EQ(history.Open(strHistory), CHistoryStore::EOpen::CREATED);
        const std::vector<int64_t> arrIds = history.Attach(CVantrelDoc::GetHistoryKeys({&a, &b}));
        const CTestRecord up{arrIds[0], t0, true, "", 123, PING_METHOD_ICMP, AF_INET, 4, 4, 200,
                             11,        22, 33,   44, 55,  t0 + 30 * 86400};
        CTestRecord down{arrIds[0], t0 + 300, false, "TLS failure: expired, \"x\"\x01"}, back = up;
        back.tWhen = t0 + 600, back.strReason = "answers 404: check the test URL";
        back.nMethod = PING_METHOD_TCP, back.nFamily = AF_INET6, back.nHttpStatus = 404;
        back.nPingTenths = 5, back.nTlsTenths = -1, back.tCertExpiry = 0;
        ASSERT_TRUE(history.WriteCycle({up, down, back}));
        ASSERT_TRUE(history.WriteCycle({{arrIds[1], t0, false, "name not found"}}));
    }
    const std::string strCsv =
        "0|time,up,reason,ping_ms,method,family,echoes_sent,echoes_answered,http_status,dns_ms,"
        "connect_ms,tls_ms,first_byte_ms,total_ms,cert_expiry\n"
        "2026-12-01T00:00:00Z,up,,12.3,icmp,ipv4,4,4,200,1.1,2.2,3.3,4.4,5.5,2026-12-31T00:00:00Z\n"
        "2026-12-01T00:05:00Z,down,\"TLS failure: expired, \"\"x\"\"\\x01\",,icmp,,0,0,,,,,,,\n"
        "2026-12-01T00:10:00Z,up,answers 404: check the test URL,0.5,tcp,ipv6,4,4,404,1.1,2.2,,"
        "4.4,5.5,\n";
    const std::pair<std::string, std::string> arrCases[] = {
        {"history --host 0 --format json --since 2026-12-01T00:10:00Z",
         "0|{\n  \"host\": 0,\n  \"name\": \"Caf\xC3\xA9, \\\"A\\\"\",\n  \"test_url\": "
         "\"https://a.example/\",\n  \"tests\": [\n    {\"time\": \"2026-12-01T00:10:00Z\", "
         "\"up\": true, \"reason\": \"answers 404: check the test URL\", \"ping_ms\": 0.5, "
         "\"method\": \"tcp\", \"family\": \"ipv6\", \"echoes_sent\": 4, \"echoes_answered\": 4, "
         "\"http_status\": 404, \"dns_ms\": 1.1, \"connect_ms\": 2.2, \"tls_ms\": null, "
         "\"first_byte_ms\": 4.4, \"total_ms\": 5.5, \"cert_expiry\": null}\n  ]\n}\n"},
        {"history --host 0 --since yesterday",
         "2|vantrelctl: --since \"yesterday\" is neither a date (2026-12-01) nor a time "
         "(2026-12-01T08:30:00Z).\n"},
        {"check", "0|hosts read: 2\ndamaged: no\nhistory: ok, " +
                      std::to_string(std::filesystem::file_size(strHistory)) + " bytes\n"},
    };
    for (const auto& [strArgs, strOut] : arrCases)
        EXPECT_EQ(Say(strArgs + " --data v.dat"), strOut) << strArgs;
    // The import keeps A (renamed) and drops B with its history: the outages as CSV.
    a.m_strName = "A2";
    ASSERT_TRUE(CHostsFile::Save(m_dir / "one.dat", {&a}, 0, 5, false, strError)) << strError;
    EXPECT_EQ(Say("export --data one.dat >one.json"), "0|");
    EXPECT_EQ(Say("import one.json --data v.dat"), "0|");
    EXPECT_EQ(Say("history --host 0 --data v.dat"), strCsv);
    EXPECT_EQ(Say("outages --data v.dat"),
              "0|host,name,start,end,duration_s,last_seen_up,tests,reason,ended_by\n0,A2,"
              "2026-12-01T00:05:00Z,2026-12-01T00:10:00Z,300,2026-12-01T00:00:00Z,1,\"TLS failure: "
              "expired, \"\"x\"\"\\x01\",answered again\n");

    // A history damaged on the disk: check says so.
    std::string strBytes = ReadFileBytes(strHistory);
    ASSERT_GE(strBytes.size(), 8192u);
    std::fill(strBytes.begin() + 4096 + 100, strBytes.begin() + 8192, '\x55');
    WriteFileBytes(strHistory, strBytes);
    EXPECT_EQ(Say("check --data v.dat"), "1|hosts read: 1\ndamaged: no\nhistory: damaged, " +
                                             std::to_string(strBytes.size()) +
                                             " bytes\nit is damaged\n");
}

// Every writer replaces only regular files: a link another user planted in a sticky folder,
// a device and a FIFO are refused with exit 1 and left as they were. New data files are
// owner-only, reports follow the umask, a replaced file keeps its mode.
TEST_F(VantrelctlTest, WritersRefuseLinksDevicesAndFifosAndKeepModes) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for links owned by another user and for device nodes";
    // In a sticky folder, links to the victim that nobody made, and one of ours (followed).
    ASSERT_EQ(0, Shell("mkdir -m 1777 shared && echo victim >victim && chmod 600 victim && "
                       "ln -s ../victim shared/link.dat && ln -s ../victim shared/link.png && "
                       "chown -h nobody: shared/link.* && ln -s ../mine.dat shared/own.dat && "
                       "mknod null c 1 3 && mkfifo -m 600 fifo && printf old >kept.dat && "
                       "chmod 640 kept.dat && mkdir taken")
                     .nExit);

    const std::string IMPORT = "import x.json --data ", DATA = "; the data file was not changed.\n";
    const std::string LINK = ": it is a symbolic link that another user made in a shared folder, "
                             "and is not followed";
    // {arguments, stdout + stderr (exit 1 when not empty), file, as Describe shows it afterwards}
    const std::tuple<std::string, std::string, std::string, std::string> arrCases[] = {
        {IMPORT + "shared/link.dat", "shared/link.dat" + LINK + DATA, "shared/link.dat",
         "symbolic link 777"},
        {"compare --hosts all --out shared/link.png --data v.dat",
         "shared/link.png" + LINK + "; no image was written.\n", "shared/link.png",
         "symbolic link 777"},
        {"report --hosts all --out null --data v.dat",
         "null: it is a device, not a regular file, and is left as it is; no report was "
         "written.\n",
         "null", "character special file 644"},
        {"report --hosts all --out taken --data v.dat",
         "taken: the path names a folder; no report was written.\n", "taken", "directory 755"},
        {"report --hosts all --out no/r.html --data v.dat",
         "no/r.html: no such file or folder; no report was written.\n", "no", ""},
        {IMPORT + "fifo", "fifo: it is a FIFO, not a regular file, and is left as it is" + DATA,
         "fifo", "fifo 600"},
        {IMPORT + "shared/own.dat", "", "mine.dat", "regular file 600 " + m_strData},
        {IMPORT + "kept.dat", "", "kept.dat", "regular file 640 " + m_strData},
        // A new file, and file names are bytes: a Latin-1 name is written and read back as given.
        {IMPORT + "'h\xe9.dat' && " + Cli("check --data 'h\xe9.dat' >/dev/null"), "", "h\xe9.dat",
         "regular file 600 " + m_strData},
        // A report is for sharing: the umask (022) decides.
        {"report --hosts all --out r.html --data v.dat", "", "r.html", "regular file 644 "},
    };
    for (const auto& [strArgs, strErr, strFile, strAfter] : arrCases) {
        EXPECT_EQ(Say(strArgs), strErr.empty() ? "0|" : "1|vantrelctl: Cannot save " + strErr);
        EXPECT_EQ(Describe(strFile).substr(0, strAfter.ends_with(' ') ? strAfter.size()
                                                                      : std::string::npos),
                  strAfter)
            << strArgs;
        EXPECT_EQ(Describe("victim"), "regular file 600 victim\n") << strArgs;
    }
    EXPECT_EQ(Describe("shared/own.dat"), "symbolic link 777");
    EXPECT_EQ(Shell("ls -a . shared | grep -c tmp").strOut, "0\n"); // no temporary file left
}
