#pragma once

#include <cstdint>

// Base64 (RFC 2045 alphabet) without line breaks, with tolerant decoding: white space and
// control characters 7-13 are skipped, nothing is rejected. Results live in the coder's own
// buffers, which grow in steps of 4096 bytes, are reused between calls and are always
// NUL-terminated after their contents.
class CBase64Coder {
public:
    CBase64Coder() = default;
    virtual ~CBase64Coder();
    CBase64Coder(const CBase64Coder&) = delete;
    CBase64Coder& operator=(const CBase64Coder&) = delete;

    virtual void Encode(const char* pszText);
    virtual void Encode(const uint8_t* pData, uint32_t nLength);
    virtual void Decode(const char* pszText);
    virtual void Decode(const char* pData, uint32_t nLength);

    virtual const uint8_t* GetDecoded() const { return m_pDecoded; }
    virtual const char* GetEncoded() const { return m_pEncoded; }
    virtual uint32_t GetDecodedLength() const { return m_nDecodedLength; }
    virtual uint32_t GetEncodedLength() const { return m_nEncodedLength; }

private:
    void PrepareEncodedBuffer(uint32_t nSize);
    void PrepareDecodedBuffer(uint32_t nSize);
    void LoadEncodedInput(const char* pData, uint32_t nLength);

    uint8_t* m_pDecoded = nullptr;
    char* m_pEncoded = nullptr;
    uint32_t m_nDecodedSize = 0;
    uint32_t m_nEncodedSize = 0;
    uint32_t m_nDecodedLength = 0;
    uint32_t m_nEncodedLength = 0;
};
