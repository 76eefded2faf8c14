#pragma once

#include <cstdint>
#include <string>

// A 128-bit universally unique identifier.
struct UUID {
    uint8_t m_bytes[16];
};

// Fills uuid with a random (version 4, RFC 4122 variant) identifier from the kernel's random
// source; false when no random bytes could be had (uuid is then all zeros).
bool UuidCreate(UUID& uuid);

// The standard 36-character form: lower-case hexadecimal digits in groups of 8-4-4-4-12.
std::string UuidToString(const UUID& uuid);
