#include "core/archive.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

uint32_t FromLittleEndian(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void ToLittleEndian(uint32_t nValue, unsigned char* p) {
    p[0] = static_cast<unsigned char>(nValue);
    p[1] = static_cast<unsigned char>(nValue >> 8);
    p[2] = static_cast<unsigned char>(nValue >> 16);
    p[3] = static_cast<unsigned char>(nValue >> 24);
}

std::string Describe(const char* pszField, uint64_t nOffset, const char* pszProblem) {
    return std::string(pszField) + " at byte " + std::to_string(nOffset) + " " + pszProblem;
}

} // namespace

CArchive::CArchive(int nFd, EMode eMode, uint64_t nFileSize)
    : m_nFd(nFd), m_eMode(eMode), m_nFileSize(nFileSize), m_vecBuffer(BUFFER_SIZE) {}

bool CArchive::Fill() {
    m_nBufPos = 0;
    m_nBufEnd = 0;
    for (;;) {
        ssize_t nRead = ::read(m_nFd, m_vecBuffer.data(), m_vecBuffer.size());
        if (nRead > 0) {
            m_nBufEnd = static_cast<size_t>(nRead);
            return true;
        }
        if (nRead == 0)
            return false;
        if (errno != EINTR)
            throw CError(CError::IO_ERROR, m_nPosition, errno,
                         std::string("reading at byte ") + std::to_string(m_nPosition) +
                             " failed: " + std::strerror(errno));
    }
}

void CArchive::Require(uint64_t nBytes, uint64_t nFieldStart, const char* pszField) const {
    if (nBytes > m_nFileSize - m_nPosition)
        throw CError(CError::END_OF_FILE, nFieldStart, 0,
                     Describe(pszField, nFieldStart, "runs past the end of the file"));
}

void CArchive::ReadBytes(void* pDest, size_t nBytes, const char* pszField) {
    const uint64_t nStart = m_nPosition;
    Require(nBytes, nStart, pszField);
    auto* pOut = static_cast<unsigned char*>(pDest);
    while (nBytes > 0) {
        if (m_nBufPos == m_nBufEnd) {
            // Large blocks go straight to their destination instead of through the buffer.
            if (nBytes >= DIRECT_READ_SIZE) {
                ssize_t nRead = ::read(m_nFd, pOut, nBytes);
                if (nRead < 0 && errno == EINTR)
                    continue;
                if (nRead < 0)
                    throw CError(CError::IO_ERROR, m_nPosition, errno,
                                 std::string("reading at byte ") + std::to_string(m_nPosition) +
                                     " failed: " + std::strerror(errno));
                if (nRead == 0)
                    throw CError(CError::END_OF_FILE, nStart, 0,
                                 Describe(pszField, nStart, "runs past the end of the file"));
                pOut += nRead;
                nBytes -= static_cast<size_t>(nRead);
                m_nPosition += static_cast<uint64_t>(nRead);
                continue;
            }
            // The file shrank while it was read.
            if (!Fill())
                throw CError(CError::END_OF_FILE, nStart, 0,
                             Describe(pszField, nStart, "runs past the end of the file"));
        }
        size_t nChunk = std::min(nBytes, m_nBufEnd - m_nBufPos);
        std::memcpy(pOut, m_vecBuffer.data() + m_nBufPos, nChunk);
        m_nBufPos += nChunk;
        pOut += nChunk;
        nBytes -= nChunk;
        m_nPosition += nChunk;
    }
}

uint32_t CArchive::ReadU32() {
    unsigned char arrBytes[4];
    if (m_nBufEnd - m_nBufPos >= 4 && m_nFileSize - m_nPosition >= 4) {
        std::memcpy(arrBytes, m_vecBuffer.data() + m_nBufPos, 4);
        m_nBufPos += 4;
        m_nPosition += 4;
    } else {
        ReadBytes(arrBytes, 4, "a number");
    }
    return FromLittleEndian(arrBytes);
}

std::string CArchive::ReadString() {
    const uint64_t nStart = m_nPosition;
    unsigned char nByte;
    ReadBytes(&nByte, 1, "a text length");
    uint32_t nLength = nByte;
    if (nByte == 0xFF) {
        unsigned char arrWord[2];
        ReadBytes(arrWord, 2, "a text length");
        nLength = static_cast<uint32_t>(arrWord[0]) | static_cast<uint32_t>(arrWord[1]) << 8;
        // 0xFFFE marks a wide-character text, which this file never holds.
        if (nLength == 0xFFFE)
            throw CError(CError::BAD_DATA, nStart, 0,
                         Describe("a text", nStart, "has a wide-character length prefix"));
        if (nLength == 0xFFFF)
            nLength = ReadU32();
    }
    Require(nLength, nStart, "a text");
    std::string str(nLength, '\0');
    ReadBytes(str.data(), nLength, "a text");
    return str;
}

void CArchive::ReadU32Array(std::vector<uint32_t>& vecValues, uint32_t nCount) {
    const uint64_t nStart = m_nPosition;
    Require(static_cast<uint64_t>(nCount) * 4, nStart, "the ping history");
    vecValues.resize(nCount);
    ReadBytes(vecValues.data(), static_cast<size_t>(nCount) * 4, "the ping history");
    if constexpr (std::endian::native != std::endian::little)
        for (uint32_t& nValue : vecValues)
            nValue = FromLittleEndian(reinterpret_cast<const unsigned char*>(&nValue));
}

void CArchive::WriteBytes(const void* pSrc, size_t nBytes) {
    const auto* pIn = static_cast<const unsigned char*>(pSrc);
    while (nBytes > 0) {
        if (m_nBufPos == m_vecBuffer.size())
            Flush();
        size_t nChunk = std::min(nBytes, m_vecBuffer.size() - m_nBufPos);
        std::memcpy(m_vecBuffer.data() + m_nBufPos, pIn, nChunk);
        m_nBufPos += nChunk;
        pIn += nChunk;
        nBytes -= nChunk;
    }
}

void CArchive::WriteU32(uint32_t nValue) {
    unsigned char arrBytes[4];
    ToLittleEndian(nValue, arrBytes);
    WriteBytes(arrBytes, 4);
}

void CArchive::WriteString(const std::string& str) {
    const size_t nLength = str.size();
    if (nLength > 0xFFFFFFFFu)
        throw CError(CError::BAD_DATA, m_nPosition + m_nBufPos, 0,
                     "a text of " + std::to_string(nLength) + " bytes is too long to store");
    if (nLength < 0xFF) {
        unsigned char nByte = static_cast<unsigned char>(nLength);
        WriteBytes(&nByte, 1);
    } else if (nLength < 0xFFFE) {
        unsigned char arrPrefix[3] = {0xFF, static_cast<unsigned char>(nLength),
                                      static_cast<unsigned char>(nLength >> 8)};
        WriteBytes(arrPrefix, 3);
    } else {
        unsigned char arrPrefix[3] = {0xFF, 0xFF, 0xFF};
        WriteBytes(arrPrefix, 3);
        WriteU32(static_cast<uint32_t>(nLength));
    }
    WriteBytes(str.data(), nLength);
}

void CArchive::WriteU32Array(const std::vector<uint32_t>& vecValues) {
    if constexpr (std::endian::native == std::endian::little) {
        WriteBytes(vecValues.data(), vecValues.size() * 4);
    } else {
        for (uint32_t nValue : vecValues)
            WriteU32(nValue);
    }
}

void CArchive::Flush() {
    size_t nDone = 0;
    while (nDone < m_nBufPos) {
        ssize_t nWritten = ::write(m_nFd, m_vecBuffer.data() + nDone, m_nBufPos - nDone);
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0) {
            const int nErr = nWritten < 0 ? errno : ENOSPC;
            throw CError(CError::IO_ERROR, m_nPosition, nErr,
                         std::string("writing at byte ") + std::to_string(m_nPosition) +
                             " failed: " + std::strerror(nErr));
        }
        nDone += static_cast<size_t>(nWritten);
        m_nPosition += static_cast<uint64_t>(nWritten);
    }
    m_nBufPos = 0;
}
