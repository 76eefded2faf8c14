#include "core/instance_guard.h"

#include "core/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

CInstanceGuard::~CInstanceGuard() {
    Release();
}

std::string CInstanceGuard::GetLockPath(const std::string& strDataPath) {
    std::string strTarget;
    std::string strReason;
    if (!CAtomicFile::ResolveLinks(strDataPath, strTarget, strReason))
        strTarget = strDataPath;
    const size_t nSlash = strTarget.rfind('/');
    std::string strDir = nSlash == std::string::npos ? "." : strTarget.substr(0, nSlash + 1);
    const std::string strBase =
        nSlash == std::string::npos ? strTarget : strTarget.substr(nSlash + 1);
    // One folder reached by two paths ("./a", "/home/u/a") is still one lock.
    char szReal[PATH_MAX];
    if (::realpath(strDir.c_str(), szReal))
        strDir = std::string(szReal) + (szReal[1] ? "/" : "");
    return strDir + "." + strBase + ".lock";
}

bool CInstanceGuard::Acquire(const std::string& strDataPath) {
    if (m_nFd >= 0)
        return true;
    // Close-on-exec: a browser or mail program started by us must not inherit the lock.
    int nFd = ::open(GetLockPath(strDataPath).c_str(),
                     O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (nFd < 0)
        return true;
    if (::flock(nFd, LOCK_EX | LOCK_NB) != 0) {
        const bool bHeldElsewhere = errno == EWOULDBLOCK;
        ::close(nFd);
        return !bHeldElsewhere;
    }
    m_nFd = nFd;
    return true;
}

void CInstanceGuard::Release() {
    if (m_nFd >= 0) {
        ::close(m_nFd);
        m_nFd = -1;
    }
}
