#include "platform/uuid.h"

#include <cerrno>
#include <cstring>
#include <sys/random.h>

bool UuidCreate(UUID& uuid) {
    std::memset(uuid.m_bytes, 0, sizeof uuid.m_bytes);
    size_t nGot = 0;
    while (nGot < sizeof uuid.m_bytes) {
        ssize_t n = getrandom(uuid.m_bytes + nGot, sizeof uuid.m_bytes - nGot, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::memset(uuid.m_bytes, 0, sizeof uuid.m_bytes);
            return false;
        }
        nGot += static_cast<size_t>(n);
    }
    uuid.m_bytes[6] = static_cast<uint8_t>((uuid.m_bytes[6] & 0x0F) | 0x40); // version 4
    uuid.m_bytes[8] = static_cast<uint8_t>((uuid.m_bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return true;
}

std::string UuidToString(const UUID& uuid) {
    static const char s_szHex[] = "0123456789abcdef";
    std::string str;
    str.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            str += '-';
        str += s_szHex[uuid.m_bytes[i] >> 4];
        str += s_szHex[uuid.m_bytes[i] & 0x0F];
    }
    return str;
}
