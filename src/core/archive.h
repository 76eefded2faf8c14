#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// A buffered, little-endian reader or writer over an open file descriptor, with the string
// encoding of the hosts file: a one-byte length below 255, else 0xFF and a 16-bit length
// below 0xFFFE, else 0xFF, 0xFFFF and a 32-bit length. Lengths and counts read from the file
// are never trusted beyond the bytes the file still holds. Failures throw CArchive::CError.
class CArchive {
public:
    enum EMode { LOAD, STORE };

    class CError : public std::runtime_error {
    public:
        enum EKind {
            END_OF_FILE, // the content stops inside a field
            BAD_DATA,    // a field holds a value that cannot be
            IO_ERROR,    // the system refused to read or write (errno in m_nErrno)
        };
        CError(EKind eKind, uint64_t nOffset, int nErrno, const std::string& strWhat)
            : std::runtime_error(strWhat), m_eKind(eKind), m_nOffset(nOffset), m_nErrno(nErrno) {}
        EKind m_eKind;
        uint64_t m_nOffset; // first byte of the field that failed
        int m_nErrno;
    };

    // nFileSize bounds what loading may allocate; it is unused when storing.
    CArchive(int nFd, EMode eMode, uint64_t nFileSize = 0);
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    // Offset in the file of the next byte read or written.
    uint64_t GetPosition() const {
        return m_eMode == STORE ? m_nPosition + m_nBufPos : m_nPosition;
    }
    // Loading: bytes left before the end of the file.
    uint64_t GetRemaining() const { return m_nFileSize - m_nPosition; }

    uint32_t ReadU32();
    int32_t ReadI32() { return static_cast<int32_t>(ReadU32()); }
    std::string ReadString();
    // Replaces vecValues with nCount values; throws before allocating when the file is shorter.
    void ReadU32Array(std::vector<uint32_t>& vecValues, uint32_t nCount);

    void WriteU32(uint32_t nValue);
    void WriteI32(int32_t nValue) { WriteU32(static_cast<uint32_t>(nValue)); }
    void WriteString(const std::string& str);
    void WriteU32Array(const std::vector<uint32_t>& vecValues);
    // Hands the buffered bytes to the system.
    void Flush();

    static constexpr size_t BUFFER_SIZE = 65536;
    // Reads this large skip the buffer and go straight to their destination.
    static constexpr size_t DIRECT_READ_SIZE = 16384;

private:
    void ReadBytes(void* pDest, size_t nBytes, const char* pszField);
    void WriteBytes(const void* pSrc, size_t nBytes);
    // Refills the buffer; false at the end of the file.
    bool Fill();
    void Require(uint64_t nBytes, uint64_t nFieldStart, const char* pszField) const;

    int m_nFd;
    EMode m_eMode;
    uint64_t m_nFileSize;
    uint64_t m_nPosition = 0;
    std::vector<unsigned char> m_vecBuffer;
    size_t m_nBufPos = 0; // next byte to hand out (loading) or first free byte (storing)
    size_t m_nBufEnd = 0; // loading: bytes valid in the buffer
};
