#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// A fresh folder under /tmp, removed with everything in it at the end of the test.
class CTempDir {
public:
    CTempDir() {
        char szTemplate[] = "/tmp/vantrel-engine-XXXXXX";
        const char* pszDir = mkdtemp(szTemplate);
        m_strPath = pszDir ? pszDir : "";
    }
    ~CTempDir() {
        std::error_code ec;
        if (!m_strPath.empty())
            std::filesystem::remove_all(m_strPath, ec);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    std::string File(const std::string& strName) const { return m_strPath + "/" + strName; }
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};
