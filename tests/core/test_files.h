#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include <stdlib.h>

// A fresh folder under /tmp, removed with everything in it.
class CTempDir {
public:
    CTempDir() {
        std::string strTemplate = "/tmp/vantrel-test-XXXXXX";
        if (!::mkdtemp(strTemplate.data()))
            throw std::runtime_error("mkdtemp failed");
        m_strPath = strTemplate;
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

private:
    std::string m_strPath;
};

inline std::string ReadFileBytes(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& strPath, const std::string& strBytes) {
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    out.write(strBytes.data(), static_cast<std::streamsize>(strBytes.size()));
}

// Builds expected file bytes by hand, independent of the code under test.
class CBytes {
public:
    CBytes& U32(uint32_t n) {
        for (int i = 0; i < 4; ++i)
            m_str += static_cast<char>((n >> (8 * i)) & 0xFF);
        return *this;
    }
    CBytes& U16(uint16_t n) {
        m_str += static_cast<char>(n & 0xFF);
        m_str += static_cast<char>(n >> 8);
        return *this;
    }
    CBytes& Byte(unsigned char n) {
        m_str += static_cast<char>(n);
        return *this;
    }
    CBytes& Raw(const std::string& str) {
        m_str += str;
        return *this;
    }
    const std::string& Str() const { return m_str; }
    size_t Size() const { return m_str.size(); }

private:
    std::string m_str;
};
