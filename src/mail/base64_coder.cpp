#include "mail/base64_coder.h"

#include <cstring>

namespace {

const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t INVALID = 254;
constexpr uint8_t PAD = 255;
// Largest input a coder accepts; the encoded form must still fit 32-bit sizes.
constexpr uint32_t MAX_INPUT = 0x40000000;

// The decoding table (every character code and the same code + 128 map to the alphabet
// position, "=" to PAD, anything else to INVALID) and lookup tables derived from it. Values
// enter the bytes in 8-bit arithmetic, so only their low six bits count: INVALID decodes as
// "+", a PAD in the first two places of a group as "/", a PAD in the last two as 0.
struct SDecodeTables {
    uint8_t m_values[256];
    uint32_t m_shifted[4][256]; // value of a character at group position i, shifted in place
    bool m_skipped[256];

    SDecodeTables() {
        std::memset(m_values, INVALID, sizeof m_values);
        for (int i = 0; i < 64; ++i) {
            auto c = static_cast<uint8_t>(ALPHABET[i]);
            m_values[c] = static_cast<uint8_t>(i);
            m_values[c + 128] = static_cast<uint8_t>(i);
        }
        m_values['='] = PAD;
        m_values['=' + 128] = PAD;
        for (int c = 0; c < 256; ++c) {
            uint32_t nValue = m_values[c] & 0x3F;
            uint32_t nLate = m_values[c] == PAD ? 0 : nValue;
            m_shifted[0][c] = nValue << 18;
            m_shifted[1][c] = nValue << 12;
            m_shifted[2][c] = nLate << 6;
            m_shifted[3][c] = nLate;
            m_skipped[c] = (c >= 7 && c <= 13) || c == ' ';
        }
    }
};

const SDecodeTables& DecodeTables() {
    static const SDecodeTables s_tables;
    return s_tables;
}

// Two alphabet characters for every 12-bit value.
struct SEncodeTable {
    char m_pairs[4096][2];
    SEncodeTable() {
        for (int i = 0; i < 4096; ++i) {
            m_pairs[i][0] = ALPHABET[i >> 6];
            m_pairs[i][1] = ALPHABET[i & 0x3F];
        }
    }
};

const SEncodeTable& EncodeTable() {
    static const SEncodeTable s_table;
    return s_table;
}

// Size of a buffer for nRequest bytes: the next multiple of 4096 strictly above it, so the
// terminating zero always fits. A buffer is replaced only when it cannot hold that zero too.
uint32_t GrownSize(uint32_t nRequest) {
    return (nRequest / 4096 + 1) * 4096;
}

} // namespace

CBase64Coder::~CBase64Coder() {
    delete[] m_pDecoded;
    delete[] m_pEncoded;
}

void CBase64Coder::PrepareEncodedBuffer(uint32_t nSize) {
    if (m_pEncoded == nullptr || m_nEncodedSize <= nSize) {
        delete[] m_pEncoded;
        m_nEncodedSize = GrownSize(nSize);
        m_pEncoded = new char[m_nEncodedSize];
    }
    m_pEncoded[0] = '\0';
    m_nEncodedLength = 0;
}

void CBase64Coder::PrepareDecodedBuffer(uint32_t nSize) {
    if (m_pDecoded == nullptr || m_nDecodedSize <= nSize) {
        delete[] m_pDecoded;
        m_nDecodedSize = GrownSize(nSize);
        m_pDecoded = new uint8_t[m_nDecodedSize];
    }
    m_pDecoded[0] = 0;
    m_nDecodedLength = 0;
}

void CBase64Coder::Encode(const char* pszText) {
    if (pszText != nullptr)
        Encode(reinterpret_cast<const uint8_t*>(pszText), static_cast<uint32_t>(strlen(pszText)));
}

void CBase64Coder::Encode(const uint8_t* pData, uint32_t nLength) {
    if (nLength > MAX_INPUT)
        nLength = 0; // refused: no result rather than a wrapped size
    PrepareDecodedBuffer(nLength);
    PrepareEncodedBuffer(2 * nLength);
    m_nDecodedLength = nLength;

    // The input is kept in the decoded buffer while it is encoded, in one pass over it: six
    // bytes (two groups) per step, read and copied eight at a time.
    const auto& pairs = EncodeTable().m_pairs;
    char* pOut = m_pEncoded;
    uint32_t i = 0;
    for (; i + 8 <= nLength; i += 6, pOut += 8) {
        uint64_t nWord;
        std::memcpy(&nWord, pData + i, 8);
        std::memcpy(m_pDecoded + i, &nWord, 8);
        nWord = __builtin_bswap64(nWord);
        const auto nFirst = static_cast<uint32_t>(nWord >> 40);
        const auto nSecond = static_cast<uint32_t>(nWord >> 16) & 0xFFFFFF;
        std::memcpy(pOut, pairs[nFirst >> 12], 2);
        std::memcpy(pOut + 2, pairs[nFirst & 0xFFF], 2);
        std::memcpy(pOut + 4, pairs[nSecond >> 12], 2);
        std::memcpy(pOut + 6, pairs[nSecond & 0xFFF], 2);
    }
    if (i < nLength)
        std::memcpy(m_pDecoded + i, pData + i, nLength - i);
    m_pDecoded[nLength] = 0;
    const uint8_t* pIn = m_pDecoded + i;
    for (; i + 3 <= nLength; i += 3, pIn += 3, pOut += 4) {
        uint32_t v = (uint32_t{pIn[0]} << 16) | (uint32_t{pIn[1]} << 8) | pIn[2];
        std::memcpy(pOut, pairs[v >> 12], 2);
        std::memcpy(pOut + 2, pairs[v & 0xFFF], 2);
    }
    uint32_t nLeft = nLength - i;
    if (nLeft > 0) {
        uint32_t v = uint32_t{pIn[0]} << 16;
        if (nLeft == 2)
            v |= uint32_t{pIn[1]} << 8;
        std::memcpy(pOut, pairs[v >> 12], 2);
        std::memcpy(pOut + 2, pairs[v & 0xFFF], 2);
        pOut[3] = '=';
        if (nLeft == 1)
            pOut[2] = '=';
        pOut += 4;
    }
    m_nEncodedLength = static_cast<uint32_t>(pOut - m_pEncoded);
    *pOut = '\0';
}

void CBase64Coder::Decode(const char* pszText) {
    if (pszText != nullptr)
        Decode(pszText, static_cast<uint32_t>(strlen(pszText)));
}

void CBase64Coder::LoadEncodedInput(const char* pData, uint32_t nLength) {
    PrepareEncodedBuffer(nLength);
    const bool* pSkipped = DecodeTables().m_skipped;
    char* pOut = m_pEncoded;
    // Copies the runs between skipped characters in one piece: most input has few or none.
    // Skipped characters are all below 33, so eight characters at a time are passed over
    // while none of them is.
    constexpr uint64_t ONES = 0x0101010101010101;
    uint32_t nRunStart = 0;
    uint32_t i = 0;
    while (i < nLength) {
        uint64_t nWord;
        while (i + 8 <= nLength &&
               (memcpy(&nWord, pData + i, 8), ((nWord - ONES * 33) & ~nWord & (ONES * 0x80)) == 0))
            i += 8;
        if (i >= nLength)
            break;
        if (pSkipped[static_cast<uint8_t>(pData[i])]) {
            memcpy(pOut, pData + nRunStart, i - nRunStart);
            pOut += i - nRunStart;
            nRunStart = i + 1;
        }
        ++i;
    }
    if (nLength > nRunStart) {
        memcpy(pOut, pData + nRunStart, nLength - nRunStart);
        pOut += nLength - nRunStart;
    }
    m_nEncodedLength = static_cast<uint32_t>(pOut - m_pEncoded);
    *pOut = '\0';
}

void CBase64Coder::Decode(const char* pData, uint32_t nLength) {
    if (nLength > MAX_INPUT)
        nLength = 0;
    LoadEncodedInput(pData, nLength);
    PrepareDecodedBuffer(nLength);

    const SDecodeTables& tables = DecodeTables();
    const auto& shifted = tables.m_shifted;
    const auto* pIn = reinterpret_cast<const uint8_t*>(m_pEncoded);
    uint8_t* pOut = m_pDecoded;
    uint32_t nGroups = m_nEncodedLength / 4;
    for (uint32_t i = 0; i < nGroups; ++i, pIn += 4, pOut += 3) {
        uint32_t v =
            shifted[0][pIn[0]] | shifted[1][pIn[1]] | shifted[2][pIn[2]] | shifted[3][pIn[3]];
        // Four bytes stored, three kept: the buffer always has room past the output.
        uint32_t nBigEndian = __builtin_bswap32(v << 8);
        memcpy(pOut, &nBigEndian, 4);
    }
    uint32_t nLeft = m_nEncodedLength - nGroups * 4;
    uint32_t nDecoded = nGroups * 3;
    if (nLeft > 0) {
        // The missing characters count as 0; three bytes are written, the leftover count
        // is what the length grows by.
        // A pad among them counts as 0 wherever it stands.
        uint32_t v = 0;
        for (uint32_t i = 0; i < nLeft; ++i) {
            if (tables.m_values[pIn[i]] != PAD)
                v |= shifted[i][pIn[i]];
        }
        pOut[0] = static_cast<uint8_t>(v >> 16);
        pOut[1] = static_cast<uint8_t>(v >> 8);
        pOut[2] = static_cast<uint8_t>(v);
        pOut[3] = 0;
        nDecoded += nLeft;
    }
    m_nDecodedLength = nDecoded;
    m_pDecoded[nDecoded] = 0;
}
