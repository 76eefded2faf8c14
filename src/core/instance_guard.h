#pragma once

#include <string>

// The single-instance guard "VantrelMutex" of one data file: an exclusive lock (flock) on a
// lock file beside it, ".<name>.lock". Every writer of the file (the program, run, import)
// takes it, whatever its environment says, so two writers of one file are refused while
// writers of different files are not. The kernel drops the lock when the holding process
// ends in any way, so a crash can never leave it held.
class CInstanceGuard {
public:
    CInstanceGuard() = default;
    ~CInstanceGuard(); // releases the guard
    CInstanceGuard(const CInstanceGuard&) = delete;
    CInstanceGuard& operator=(const CInstanceGuard&) = delete;

    // False when another process holds the guard of strDataPath. True when this process now
    // holds it, and also when the lock file cannot be made at all (a read-only folder, where
    // no save can happen either): start-up then goes on without it.
    bool Acquire(const std::string& strDataPath);
    void Release();
    bool IsHeld() const { return m_nFd >= 0; }
    // The lock file of a data file: beside the file its symbolic links finally name, so that
    // every path to one file takes the same lock.
    static std::string GetLockPath(const std::string& strDataPath);

private:
    int m_nFd = -1;
};
