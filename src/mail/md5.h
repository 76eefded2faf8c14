#pragma once

#include <cstddef>
#include <cstdint>

// MD5 message digest (RFC 1321).
struct MD5_CTX {
    uint32_t state[4];
    uint32_t count[2]; // bits hashed so far, low word first
    uint8_t buffer[64];
};

void MD5Init(MD5_CTX* pContext);
void MD5Update(MD5_CTX* pContext, const uint8_t* pInput, size_t nLength);
// Writes the 16-byte digest and wipes the context.
void MD5Final(uint8_t digest[16], MD5_CTX* pContext);
