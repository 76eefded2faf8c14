#include "core/instance_guard.h"

#include "core/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

CInstanceGuard::CInstanceGuard(std::string strName) : m_strName(std::move(strName)) {}

CInstanceGuard::~CInstanceGuard() {
    Release();
}

std::string CInstanceGuard::GetLockPath() const {
    const char* pszRuntime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st;
    if (pszRuntime && *pszRuntime == '/' && ::stat(pszRuntime, &st) == 0 && S_ISDIR(st.st_mode))
        return std::string(pszRuntime) + "/" + m_strName + ".lock";
    const QString strFolder =
        QFileInfo(QFile::decodeName(CSettingsStore::GetDefaultFileName().c_str())).absolutePath();
    QDir().mkpath(strFolder);
    return QFile::encodeName(strFolder).toStdString() + "/" + m_strName + ".lock";
}

bool CInstanceGuard::Acquire() {
    if (m_nFd >= 0)
        return true;
    // Close-on-exec: a browser or mail program started by us must not inherit the lock.
    int nFd = ::open(GetLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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
