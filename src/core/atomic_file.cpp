#include "core/atomic_file.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string DirName(const std::string& strPath) {
    size_t nSlash = strPath.rfind('/');
    if (nSlash == std::string::npos)
        return ".";
    if (nSlash == 0)
        return "/";
    return strPath.substr(0, nSlash);
}

std::string BaseName(const std::string& strPath) {
    size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
}

// What a file that is not a regular one is, for the refusal.
const char* DescribeKind(mode_t nMode) {
    return S_ISLNK(nMode)    ? "a symbolic link that appeared while saving"
           : S_ISFIFO(nMode) ? "a FIFO"
           : S_ISSOCK(nMode) ? "a socket"
                             : "a device";
}

} // namespace

CAtomicFile::~CAtomicFile() {
    Abort();
}

std::string CAtomicFile::DescribeErrno(int nErrno) {
    switch (nErrno) {
    case ENOSPC:
        return "the disk is full";
    case EDQUOT:
        return "your disk quota is used up";
    case EFBIG:
        return "the file would exceed the largest file size this program may write";
    case EACCES:
    case EPERM:
        return "permission denied";
    case EROFS:
        return "the disk is read-only";
    case ENOENT:
        return "no such file or folder";
    case ENOTDIR:
        return "a part of the path is not a folder";
    case EISDIR:
        return "the path names a folder";
    case ELOOP:
        return "the path has too many symbolic links";
    case EIO:
        return "the disk reported an input/output error";
    default:
        return std::strerror(nErrno);
    }
}

bool CAtomicFile::ResolveLinks(const std::string& strPath, std::string& strTarget,
                               std::string& strReason) {
    strTarget = strPath;
    for (int nHops = 0; nHops < 40; ++nHops) {
        struct stat st;
        if (::lstat(strTarget.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        // The kernel's rule for sticky folders that everybody may write to (/tmp): a link is
        // followed only when it belongs to the one following it or to the folder's owner.
        // Resolving links here bypasses the kernel's check, so it is made here.
        struct stat stDir;
        const std::string strDir = DirName(strTarget);
        if (::stat(strDir.c_str(), &stDir) == 0 && (stDir.st_mode & S_ISVTX) &&
            (stDir.st_mode & S_IWOTH) && st.st_uid != ::geteuid() && st.st_uid != stDir.st_uid) {
            strReason = (nHops == 0 ? std::string("it") : strTarget) +
                        " is a symbolic link that another user made in a shared folder, and is "
                        "not followed";
            return false;
        }
        std::string strLink(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        ssize_t nLen = ::readlink(strTarget.c_str(), strLink.data(), strLink.size());
        if (nLen < 0) {
            strReason = DescribeErrno(errno);
            return false;
        }
        strLink.resize(static_cast<size_t>(nLen));
        strTarget = strLink.starts_with('/') ? strLink : strDir + "/" + strLink;
    }
    strReason = DescribeErrno(ELOOP);
    return false;
}

bool CAtomicFile::ResolveRegular(const std::string& strPath, std::string& strTarget,
                                 std::string& strReason) {
    if (!ResolveLinks(strPath, strTarget, strReason))
        return false;
    struct stat st;
    if (::lstat(strTarget.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        strReason = DescribeErrno(errno);
        return false;
    }
    if (S_ISREG(st.st_mode))
        return true;
    strReason = S_ISDIR(st.st_mode) ? DescribeErrno(EISDIR)
                                    : std::string("it is ") + DescribeKind(st.st_mode) +
                                          ", not a regular file, and is left as it is";
    return false;
}

std::string CAtomicFile::GetFreeDamagedName(const std::string& strTarget) {
    std::string strName = strTarget + ".damaged";
    struct stat st;
    for (unsigned n = 1; ::lstat(strName.c_str(), &st) == 0; ++n)
        strName = strTarget + ".damaged." + std::to_string(n);
    return strName;
}

void CAtomicFile::SetError(const std::string& strWhat, int nErrno) {
    m_strError = strWhat + " " + m_strTarget + ": " + DescribeErrno(nErrno);
}

bool CAtomicFile::CheckTarget() {
    struct stat st;
    if (::fstatat(m_nDirFd, BaseName(m_strTarget).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return true;
        SetError("Cannot save", errno);
        return false;
    }
    if (S_ISREG(st.st_mode))
        return true;
    if (S_ISDIR(st.st_mode)) {
        SetError("Cannot save", EISDIR);
        return false;
    }
    m_strError = "Cannot save " + m_strTarget + ": it is " + DescribeKind(st.st_mode) +
                 ", not a regular file, and is left as it is";
    return false;
}

bool CAtomicFile::Open(const std::string& strPath, ENewMode eNewMode) {
    Abort();
    m_strError.clear();
    m_strTarget = strPath;
    std::string strReason;
    if (!ResolveLinks(strPath, m_strTarget, strReason)) {
        m_strError = "Cannot save " + strPath + ": " + strReason;
        return false;
    }
    // Everything below works in the folder opened once, so that a folder swapped for a link
    // meanwhile cannot redirect the file.
    m_nDirFd = ::open(DirName(m_strTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_nDirFd < 0) {
        SetError("Cannot save", errno);
        return false;
    }
    if (!CheckTarget()) {
        Abort();
        return false;
    }
    const std::string strPrefix = "." + BaseName(m_strTarget) + ".";
    auto nSeed = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid());
    const mode_t nMode = eNewMode == NEW_PRIVATE ? 0600 : 0666;
    for (int nTry = 0; nTry < 100 && m_nFd < 0; ++nTry) {
        nSeed = nSeed * 6364136223846793005ULL + 1442695040888963407ULL;
        m_strTemp = strPrefix + std::to_string((nSeed >> 33) % 1000000) + ".tmp";
        m_nFd = ::openat(m_nDirFd, m_strTemp.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, nMode);
        if (m_nFd < 0 && errno != EEXIST) {
            SetError("Cannot save", errno);
            m_strTemp.clear();
            Abort();
            return false;
        }
    }
    if (m_nFd < 0) {
        SetError("Cannot save", EEXIST);
        m_strTemp.clear();
        Abort();
        return false;
    }
    // The replacement takes over the permissions (and, where allowed, the owner) of the file.
    struct stat st;
    if (::fstatat(m_nDirFd, BaseName(m_strTarget).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (::fchown(m_nFd, st.st_uid, st.st_gid) != 0) {
            // Only the super-user may give a file away; the mode below still applies.
        }
        if (::fchmod(m_nFd, st.st_mode & 07777) != 0) {
            SetError("Cannot save", errno);
            Abort();
            return false;
        }
    }
    return true;
}

bool CAtomicFile::Write(const void* pData, size_t nSize) {
    const auto* p = static_cast<const char*>(pData);
    while (nSize > 0 && m_nFd >= 0) {
        const ssize_t nWritten = ::write(m_nFd, p, nSize);
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0) {
            Fail(nWritten < 0 ? errno : ENOSPC);
            return false;
        }
        p += nWritten;
        nSize -= static_cast<size_t>(nWritten);
    }
    if (m_nFd < 0 && m_strError.empty())
        SetError("Cannot save", EBADF);
    return m_nFd >= 0;
}

void CAtomicFile::Fail(int nErrno) {
    SetError("Cannot save", nErrno);
    Abort();
}

bool CAtomicFile::Commit() {
    if (m_nFd < 0) {
        if (m_strError.empty())
            SetError("Cannot save", EBADF);
        return false;
    }
    if (::fsync(m_nFd) != 0) {
        Fail(errno);
        return false;
    }
    int nFd = m_nFd;
    m_nFd = -1;
    if (::close(nFd) != 0) {
        Fail(errno);
        return false;
    }
    // A device or FIFO put in place while we wrote is still never replaced.
    if (!CheckTarget()) {
        Abort();
        return false;
    }
    if (::renameat(m_nDirFd, m_strTemp.c_str(), m_nDirFd, BaseName(m_strTarget).c_str()) != 0) {
        Fail(errno);
        return false;
    }
    m_strTemp.clear();
    // Makes the rename itself durable; a folder that cannot be synced changes nothing.
    ::fsync(m_nDirFd);
    RemoveStaleTemps(m_nDirFd, BaseName(m_strTarget));
    Abort();
    return true;
}

void CAtomicFile::RemoveStaleTemps(int nDirFd, const std::string& strBase) {
    // Our own temporary names only: "." + name + "." + digits + ".tmp".
    const std::string strPrefix = "." + strBase + ".";
    const std::string strSuffix = ".tmp";
    const int nListFd = ::dup(nDirFd);
    DIR* pDir = nListFd >= 0 ? ::fdopendir(nListFd) : nullptr;
    if (!pDir) {
        if (nListFd >= 0)
            ::close(nListFd);
        return;
    }
    const time_t tOldest = ::time(nullptr) - STALE_TEMP_SECONDS;
    while (const dirent* pEntry = ::readdir(pDir)) {
        const std::string strName = pEntry->d_name;
        if (strName.size() <= strPrefix.size() + strSuffix.size() ||
            !strName.starts_with(strPrefix) || !strName.ends_with(strSuffix))
            continue;
        const std::string strMiddle =
            strName.substr(strPrefix.size(), strName.size() - strPrefix.size() - strSuffix.size());
        if (strMiddle.find_first_not_of("0123456789") != std::string::npos)
            continue;
        struct stat st;
        if (::fstatat(nDirFd, strName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_mtime < tOldest)
            ::unlinkat(nDirFd, strName.c_str(), 0);
    }
    ::closedir(pDir);
}

void CAtomicFile::Abort() {
    if (m_nFd >= 0) {
        ::close(m_nFd);
        m_nFd = -1;
    }
    if (!m_strTemp.empty()) {
        ::unlinkat(m_nDirFd, m_strTemp.c_str(), 0);
        m_strTemp.clear();
    }
    if (m_nDirFd >= 0) {
        ::close(m_nDirFd);
        m_nDirFd = -1;
    }
}
