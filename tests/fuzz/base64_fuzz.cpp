// Tolerant decoding of any input, and the round trip of any bytes.
#include "mail/base64_coder.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    CBase64Coder coder, decoder;
    coder.Decode(reinterpret_cast<const char*>(pData), static_cast<uint32_t>(nSize));
    const uint32_t nKept = coder.GetEncodedLength(), nDecoded = coder.GetDecodedLength();
    if (nKept > nSize || coder.GetEncoded()[nKept] != '\0' || coder.GetDecoded()[nDecoded] != 0 ||
        nDecoded != nKept / 4 * 3 + nKept % 4)
        __builtin_trap();
    coder.Encode(pData, static_cast<uint32_t>(nSize));
    decoder.Decode(coder.GetEncoded(), coder.GetEncodedLength());
    if (coder.GetEncodedLength() != (nSize + 2) / 3 * 4 || decoder.GetDecodedLength() < nSize ||
        memcmp(decoder.GetDecoded(), pData, nSize) != 0)
        __builtin_trap();
    return 0;
}
