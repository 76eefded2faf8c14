#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <stdlib.h>
#include <sys/wait.h>

// A fresh folder under /tmp, removed with everything in it (even after a test made it read-only).
class CTempDir {
public:
    CTempDir() : m_strPath("/tmp/vantrel-test-XXXXXX") {
        if (!::mkdtemp(m_strPath.data()))
            throw std::runtime_error("mkdtemp failed");
    }
    ~CTempDir() {
        std::error_code ec;
        std::filesystem::permissions(m_strPath, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_strPath, ec);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::string& Path() const { return m_strPath; }
    std::string operator/(const std::string& strName) const { return m_strPath + "/" + strName; }
    std::vector<std::string> Names() const { // sorted
        std::vector<std::string> arr;
        for (const auto& entry : std::filesystem::directory_iterator(m_strPath))
            arr.push_back(entry.path().filename().string());
        std::sort(arr.begin(), arr.end());
        return arr;
    }

private:
    std::string m_strPath;
};

inline std::string ReadFileBytes(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct CShellRun {
    int nExit;
    std::string strOut, strErr;
};

// A shell command line with no input; its output and errors (unless it sends them elsewhere)
// pass through files in dir.
inline CShellRun RunShell(const CTempDir& dir, const std::string& strLine) {
    const int nStatus = std::system(
        ("{ " + strLine + "; } </dev/null >'" + dir / "out" + "' 2>'" + dir / "err" + "'").c_str());
    return {WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1, ReadFileBytes(dir / "out"),
            ReadFileBytes(dir / "err")};
}

inline void WriteFileBytes(const std::string& strPath, const std::string& strBytes) {
    std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strBytes;
}

// Little-endian numbers for expected file bytes, written by hand rather than by the archive.
inline std::string U32(uint32_t n) {
    return {char(n & 0xFF), char((n >> 8) & 0xFF), char((n >> 16) & 0xFF), char(n >> 24)};
}
inline std::string U16(uint16_t n) {
    return U32(n).substr(0, 2);
}
