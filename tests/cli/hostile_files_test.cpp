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
        host.m_strName = "Acme", host.m_strTestURL = "http://127.0.0.1:1/", host.m_bTesting = 1;
        std::string strError;
        ASSERT_TRUE(CHostsFile::Save(m_dir / "v.dat", {&host}, 0, 5, false, strError)) << strError;
        m_strData = ReadFileBytes(m_dir / "v.dat");
        Shell(Cli("export --data v.dat >x.json"));
    }
    // "regular file 600 <bytes>", "symbolic link 777", "fifo 600", ...; "" for nothing there.
    std::string Describe(const std::string& strName) {
        std::string str = Shell("stat -c '%F %a' '" + strName + "'").strOut;
        str = str.substr(0, str.find('\n'));
        return str.starts_with("regular") ? str + " " + ReadFileBytes(m_dir / strName) : str;
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
    ASSERT_EQ(::mkdir((m_dir / "shared").c_str(), 01777), 0);
    ASSERT_EQ(::chmod((m_dir / "shared").c_str(), 01777), 0);
    WriteFileBytes(m_dir / "victim", "victim\n");
    ASSERT_EQ(::chmod((m_dir / "victim").c_str(), 0600), 0);
    for (const std::string strLink : {"shared/link.dat", "shared/link.png"}) {
        ASSERT_EQ(::symlink("../victim", (m_dir / strLink).c_str()), 0);
        ASSERT_EQ(::lchown((m_dir / strLink).c_str(), pNobody->pw_uid, pNobody->pw_gid), 0);
    }
    ASSERT_EQ(::symlink("../mine.dat", (m_dir / "shared/own.dat").c_str()), 0); // ours: followed
    ASSERT_EQ(::mknod((m_dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0600), 0);
    WriteFileBytes(m_dir / "kept.dat", "old");
    ASSERT_EQ(::chmod((m_dir / "kept.dat").c_str(), 0640), 0);

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
        {IMPORT + "fifo", "fifo: it is a FIFO, not a regular file, and is left as it is" + DATA,
         "fifo", "fifo 600"},
        {IMPORT + "shared/own.dat", "", "mine.dat", "regular file 600 " + m_strData},
        {IMPORT + "new.dat", "", "new.dat", "regular file 600 " + m_strData},
        {IMPORT + "kept.dat", "", "kept.dat", "regular file 640 " + m_strData},
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
    EXPECT_EQ(Shell("ls -a shared | grep -c tmp").strOut, "0\n"); // no temporary file left
}

// A damaged file fails run as it fails list, and the run starts a new list; the damaged copy
// holds the user's hosts too: owner-only even beside a readable data file.
TEST_F(HostileFilesTest, DamagedCopyIsOwnerOnly) {
    WriteFileBytes(m_dir / "d.dat", m_strData.substr(0, 20));
    ASSERT_EQ(::chmod((m_dir / "d.dat").c_str(), 0644), 0);
    const std::string strRun = Say("run --data d.dat --cycles 1 --minute-ms 1 >/dev/null");
    EXPECT_TRUE(strRun.starts_with("1|") &&
                strRun.find("vantrelctl: Cannot load hosts data, will re-create the list\n") !=
                    std::string::npos)
        << strRun;
    EXPECT_EQ(Describe("d.dat.damaged"), "regular file 600 " + m_strData.substr(0, 20));
    EXPECT_EQ(Describe("d.dat"), "regular file 644 " + U32(0) + U32(0) + U32(5));
}

// File names are bytes: Latin-1 names are written, read and kept apart as given.
TEST_F(HostileFilesTest, FileNamesThatAreNotUtf8AreKept) {
    for (const std::string strName : {"h\xe9.dat", "h\xe8.dat"}) {
        EXPECT_EQ(Say("import x.json --data '" + strName + "'"), "0|");
        EXPECT_EQ(Describe(strName), "regular file 600 " + m_strData);
        EXPECT_EQ(Say("list --data '" + strName + "'").substr(0, 9), "0|0\tAcme\t");
    }
    EXPECT_EQ(Describe("h\xef\xbf\xbd.dat"), "");
    EXPECT_EQ(Say("list --data 'n\xe9.dat'"),
              "1|vantrelctl: Cannot read n\\xe9.dat: no such file or folder.\n");
}

// run saves on SIGHUP (the terminal closed) and exits 0; a reader that went away (run | true)
// ends the run after a save, with exit 1 instead of death by SIGPIPE.
TEST_F(HostileFilesTest, RunSavesOnHangUpAndLostOutput) {
    const CShellRun hup = Shell(Cli("run --data v.dat --minute-ms 600000") +
                                " >out.txt 2>err.txt & pid=$!; "
                                "for i in $(seq 300); do [ -s out.txt ] && break; sleep 0.1; done; "
                                "kill -HUP $pid; wait $pid; echo $?");
    EXPECT_EQ(hup.strOut + ReadFileBytes(m_dir / "err.txt"),
              "0\nvantrelctl: stopping after the test in progress\n");
    const auto Tests = [this] { // of the host, or -1 when the file cannot be read
        const std::string str = Say("export --data v.dat");
        return str.starts_with("0|") ? std::stoi(str.substr(str.find("\"tests\": ") + 9)) : -1;
    };
    EXPECT_EQ(Tests(), 1); // the cycle before the signal is kept
    Shell("{ " + Cli("run --data v.dat --minute-ms 1 2>err.txt") +
          "; echo $? >status.txt; } | true");
    EXPECT_EQ(ReadFileBytes(m_dir / "status.txt") + ReadFileBytes(m_dir / "err.txt"),
              "1\nvantrelctl: cannot write to standard output; stopping after the test in "
              "progress\n");
    EXPECT_GE(Tests(), 2);
}

} // namespace
