#pragma once

#include <cstdint>

// The thread's last-error value: failures are boolean results with the reason left here.
// Codes the system detects itself keep their well-known numbers (2, 22, 59, 10022, 10043,
// 10060); a failing POSIX call leaves its errno.
uint32_t GetLastError();
void SetLastError(uint32_t dwError);
