#include "platform/last_error.h"

namespace {
thread_local uint32_t t_dwLastError = 0;
}

uint32_t GetLastError() {
    return t_dwLastError;
}

void SetLastError(uint32_t dwError) {
    t_dwLastError = dwError;
}
