#pragma once

#include <string>

// The single-instance guard "VantrelMutex": an exclusive lock (flock) on a lock file in the
// user's runtime folder (XDG_RUNTIME_DIR, else the settings folder). The kernel drops the
// lock when the holding process ends in any way, so a crash can never leave it held.
class CInstanceGuard {
public:
    explicit CInstanceGuard(std::string strName = "VantrelMutex");
    ~CInstanceGuard(); // releases the guard
    CInstanceGuard(const CInstanceGuard&) = delete;
    CInstanceGuard& operator=(const CInstanceGuard&) = delete;

    // False when another instance holds the guard. True when this process now holds it, and
    // also when the guard cannot be made at all: start-up then goes on without it.
    bool Acquire();
    void Release();
    bool IsHeld() const { return m_nFd >= 0; }
    std::string GetLockPath() const;

private:
    std::string m_strName;
    int m_nFd = -1;
};
