// vantrelctl among other users and hostile input: what it writes, what it refuses, and the
// bytes of every file afterwards.
#include "core/host.h"
#include "core/hosts_file.h"
#include "vantrelctl_fixture.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

class HostileFilesTest : public CVantrelctlTest {
protected:
    void SetUp() override {
        CHost host;
        host.m_strName = "Acme";
        host.m_strWebSite = "http://acme.example/";
        host.m_strTestURL = "http://127.0.0.1:1/";
        host.m_bTesting = 1;
        std::string strError;
        ASSERT_TRUE(CHostsFile::Save(m_dir / "v.dat", {&host}, 0, 5, false, strError)) << strError;
        m_strData = ReadFileBytes(m_dir / "v.dat");
        WriteFileBytes(m_dir / "x.json", Shell(Cli("export --data v.dat")).strOut);
    }
    // "file 0600 <bytes>", "link", "fifo", "char 1,3", "none".
    std::string Describe(const std::string& strName) const {
        struct stat st;
        if (::lstat((m_dir / strName).c_str(), &st) != 0)
            return "none";
        if (S_ISLNK(st.st_mode))
            return "link";
        if (S_ISFIFO(st.st_mode))
            return "fifo";
        if (S_ISCHR(st.st_mode))
            return "char " + std::to_string(major(st.st_rdev)) + "," +
                   std::to_string(minor(st.st_rdev));
        char szMode[8];
        std::snprintf(szMode, sizeof(szMode), "%04o", st.st_mode & 07777);
        return std::string("file ") + szMode + " " + ReadFileBytes(m_dir / strName);
    }

    std::string m_strData; // the bytes of v.dat
};

// Every writer replaces only regular files: a link another user planted in a sticky folder,
// a device and a FIFO are refused with exit 1 and left as they were. New data files are
// owner-only, reports follow the umask, a replaced file keeps its mode.
TEST_F(HostileFilesTest, WritersRefuseLinksDevicesAndFifosAndKeepModes) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for links owned by another user and for device nodes";
    const passwd* pNobody = ::getpwnam("nobody");
    ASSERT_NE(pNobody, nullptr);
    const std::string strShared = m_dir / "shared";
    ASSERT_EQ(::mkdir(strShared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(strShared.c_str(), 01777), 0);
    WriteFileBytes(m_dir / "victim", "victim\n");
    ASSERT_EQ(::chmod((m_dir / "victim").c_str(), 0600), 0);
    for (const char* pszLink : {"link.dat", "link.html", "link.png"}) {
        ASSERT_EQ(::symlink("../victim", (strShared + "/" + pszLink).c_str()), 0);
        ASSERT_EQ(::lchown((strShared + "/" + pszLink).c_str(), pNobody->pw_uid, pNobody->pw_gid),
                  0);
    }
    ASSERT_EQ(::symlink("../mine.dat", (strShared + "/own.dat").c_str()), 0); // ours: followed
    ASSERT_EQ(::mknod((m_dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0600), 0);
    WriteFileBytes(m_dir / "kept.dat", "old");
    ASSERT_EQ(::chmod((m_dir / "kept.dat").c_str(), 0640), 0);

    const std::string IMPORT = "import x.json --data ", NOT_CHANGED = "; the data file was not "
                                                                      "changed.\n";
    const std::string LINK = ": it is a symbolic link that another user made in a shared folder, "
                             "and is not followed";
    const std::string NOT_REGULAR = ", not a regular file, and is left as it is";
    const std::string P = m_dir.Path() + "/";
    struct CCase {
        std::string strArgs;
        int nExit;
        std::string strErr, strFile, strAfter; // strFile as Describe shows it afterwards
    } const arrCases[] = {
        {IMPORT + "shared/link.dat", 1,
         "vantrelctl: Cannot save shared/link.dat" + LINK + NOT_CHANGED, "shared/link.dat", "link"},
        {"report --hosts all --out shared/link.html", 1,
         "vantrelctl: Cannot save shared/link.html" + LINK + "; no report was written.\n",
         "shared/link.html", "link"},
        {"compare --hosts all --out shared/link.png --data v.dat", 1,
         "vantrelctl: Cannot save shared/link.png" + LINK + "; no image was written.\n",
         "shared/link.png", "link"},
        {IMPORT + "null", 1,
         "vantrelctl: Cannot save null: it is a device" + NOT_REGULAR + NOT_CHANGED, "null",
         "char 1,3"},
        {"report --hosts all --out null", 1,
         "vantrelctl: Cannot save null: it is a device" + NOT_REGULAR +
             "; no report was written.\n",
         "null", "char 1,3"},
        {IMPORT + "fifo", 1,
         "vantrelctl: Cannot save fifo: it is a FIFO" + NOT_REGULAR + NOT_CHANGED, "fifo", "fifo"},
        {IMPORT + "shared/own.dat", 0, "", "mine.dat", "file 0600 " + m_strData},
        {IMPORT + "new.dat", 0, "", "new.dat", "file 0600 " + m_strData},
        {IMPORT + "kept.dat", 0, "", "kept.dat", "file 0640 " + m_strData},
    };
    for (const CCase& c : arrCases) {
        const std::string strArgs =
            c.strArgs.find("--data") == std::string::npos ? c.strArgs + " --data v.dat" : c.strArgs;
        const CShellRun run = Shell(Cli(strArgs));
        EXPECT_EQ(run.nExit, c.nExit) << c.strArgs;
        EXPECT_EQ(run.strOut + run.strErr, c.strErr) << c.strArgs;
        EXPECT_EQ(Describe(c.strFile), c.strAfter) << c.strArgs;
        EXPECT_EQ(Describe("victim"), "file 0600 victim\n") << c.strArgs;
    }
    EXPECT_EQ(Describe("shared/own.dat"), "link");
    // A report is for sharing: the umask (022) decides.
    EXPECT_EQ(Shell(Cli("report --hosts all --out r.html --data v.dat")).nExit, 0);
    EXPECT_EQ(Describe("r.html").substr(0, 10), "file 0644 ");
    EXPECT_EQ(Shell("ls -a shared | grep -c tmp").strOut, "0\n"); // no temporary file left
}

// A damaged file fails run as it fails list, and the run starts a new list; the damaged copy
// holds the user's hosts too: owner-only even beside a readable data file.
TEST_F(HostileFilesTest, DamagedCopyIsOwnerOnly) {
    WriteFileBytes(m_dir / "d.dat", m_strData.substr(0, 20));
    ASSERT_EQ(::chmod((m_dir / "d.dat").c_str(), 0644), 0);
    const CShellRun run = Shell(Cli("run --data d.dat --cycles 1 --minute-ms 1 >/dev/null"));
    EXPECT_EQ(run.nExit, 1) << run.strErr;
    EXPECT_NE(run.strErr.find("vantrelctl: Cannot load hosts data, will re-create the list\n"),
              std::string::npos)
        << run.strErr;
    EXPECT_EQ(Describe("d.dat.damaged"), "file 0600 " + m_strData.substr(0, 20));
    EXPECT_EQ(Describe("d.dat"), "file 0644 " + U32(0) + U32(0) + U32(5));
}

// File names are bytes: Latin-1 names are written, read and kept apart as given.
TEST_F(HostileFilesTest, FileNamesThatAreNotUtf8AreKept) {
    for (const char* pszName : {"h\xe9.dat", "h\xe8.dat"}) {
        const CShellRun run = Shell(Cli(std::string("import x.json --data '") + pszName + "'"));
        EXPECT_EQ(run.nExit, 0) << run.strErr;
        EXPECT_EQ(Describe(pszName), "file 0600 " + m_strData);
        EXPECT_EQ(Shell(Cli(std::string("list --data '") + pszName + "'")).strOut.substr(0, 7),
                  "0\tAcme\t");
    }
    EXPECT_EQ(Describe("h\xef\xbf\xbd.dat"), "none");
    const CShellRun missing = Shell(Cli("list --data 'n\xe9.dat'"));
    EXPECT_EQ(missing.nExit, 1);
    EXPECT_NE(missing.strErr.find("n\\xe9.dat"), std::string::npos) << missing.strErr;
}

// Import refuses, with the data file unchanged: endless or oversized input, overlong texts and
// control characters, all with a plain message.
TEST_F(HostileFilesTest, ImportBoundsLeaveTheDataFileAlone) {
    const std::string strJson = ReadFileBytes(m_dir / "x.json");
    auto With = [&](const std::string& strFrom, const std::string& strTo) {
        std::string str = strJson;
        return str.replace(str.find(strFrom), strFrom.size(), strTo);
    };
    WriteFileBytes(m_dir / "long.json", With("\"Acme\"", "\"" + std::string(2049, 'n') + "\""));
    WriteFileBytes(m_dir / "c1.json", With("\"Acme\"", "\"Ac\\u0085me\""));
    WriteFileBytes(m_dir / "url.json",
                   With("\"http://127.0.0.1:1/\"", "\"http://" + std::string(2042, 'u') + "/\""));
    const std::string NOT_CHANGED = "; the data file was not changed.\n";
    const std::pair<std::string, std::string> arrCases[] = {
        {"import /dev/zero",
         "vantrelctl: cannot read /dev/zero: it is a device, not a document" + NOT_CHANGED},
        {"yes '[' | " + Cli("import -"),
         "vantrelctl: cannot read -: it is larger than 256 MB" + NOT_CHANGED},
        {"import long.json", "vantrelctl: long.json: host 0: key \"name\" is longer than 2048 "
                             "bytes (2049)" +
                                 NOT_CHANGED},
        {"import c1.json",
         "vantrelctl: c1.json: host 0: key \"name\" holds a control character" + NOT_CHANGED},
        {"import url.json", "vantrelctl: url.json: host 0: key \"test_url\" is longer than 2048 "
                            "bytes (2050)" +
                                NOT_CHANGED},
    };
    for (const auto& [strCommand, strErr] : arrCases) {
        const std::string strLine = strCommand.starts_with("yes") ? strCommand : Cli(strCommand);
        const CShellRun run = Shell(strLine + " --data v.dat");
        EXPECT_EQ(run.nExit, 1) << strCommand;
        EXPECT_EQ(run.strOut + run.strErr, strErr);
        EXPECT_EQ(Describe("v.dat"), "file 0600 " + m_strData) << strCommand;
    }
}

// A name from a damaged file reaches the terminal with its control characters visible.
// A longer one than import takes is cut.
TEST_F(HostileFilesTest, ListShowsControlCharactersVisiblyAndCutsLongTexts) {
    CHost evil, longer;
    evil.m_strName = "Evil\x1b[2J\rOK\x85";
    longer.m_strName = std::string(3000, 'n');
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(m_dir / "e.dat", {&evil, &longer}, 0, 5, false, strError));
    const std::string strOut = Shell(Cli("list --data e.dat")).strOut;
    const std::string strLine = "0\tEvil\\x1b[2J\\rOK\\x85\t\t";
    EXPECT_EQ(strOut.substr(0, strLine.size()), strLine);
    EXPECT_NE(strOut.find("\n1\t" + std::string(2048, 'n') + "\t\t"), std::string::npos);
}

// run saves on SIGHUP (the terminal closed) and exits 0; a reader that went away (run | true)
// ends the run after a save, with exit 1 instead of death by SIGPIPE.
TEST_F(HostileFilesTest, RunSavesOnHangUpAndLostOutput) {
    const CShellRun hup =
        Shell(VANTRELCTL_PATH " run --data v.dat --minute-ms 600000"
                              " >out.txt 2>err.txt & pid=$!; "
                              "for i in $(seq 300); do [ -s out.txt ] && break; sleep 0.1; done; "
                              "kill -HUP $pid; wait $pid; echo $?");
    EXPECT_EQ(hup.strOut, "0\n") << ReadFileBytes(m_dir / "err.txt");
    EXPECT_EQ(ReadFileBytes(m_dir / "err.txt"),
              "vantrelctl: stopping after the test in progress\n");
    std::vector<CHost*> arrHosts;
    int32_t nRun = 0, nInterval = 0;
    ASSERT_EQ(CHostsFile::Load(m_dir / "v.dat", arrHosts, nRun, nInterval).m_eResult,
              CHostsFile::LOAD_OK);
    EXPECT_EQ(arrHosts.at(0)->m_nTests, 1); // the cycle before the signal is kept
    for (CHost* pHost : arrHosts)
        delete pHost;

    const CShellRun pipe = Shell("{ " + Cli("run --data v.dat --minute-ms 1 2>err.txt") +
                                 "; echo $? >status.txt; } | true");
    EXPECT_EQ(ReadFileBytes(m_dir / "status.txt"), "1\n");
    EXPECT_EQ(ReadFileBytes(m_dir / "err.txt"),
              "vantrelctl: cannot write to standard output; stopping after the test in progress\n");
    arrHosts.clear();
    ASSERT_EQ(CHostsFile::Load(m_dir / "v.dat", arrHosts, nRun, nInterval).m_eResult,
              CHostsFile::LOAD_OK);
    EXPECT_GE(arrHosts.at(0)->m_nTests, 2);
    for (CHost* pHost : arrHosts)
        delete pHost;
}

} // namespace
