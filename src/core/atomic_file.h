#pragma once

#include <string>

// Replaces a file as a whole or not at all: the new content goes to a temporary file in the
// same folder, is flushed to the disk and then renamed over the old file. A crash, a full
// disk or a size limit therefore leaves either the old file or the new one, never a mix.
// Only a regular file is ever replaced: a device, FIFO or socket at the path is refused, and
// so is a symbolic link that the kernel would not follow for us in a shared sticky folder
// (planted there by another user). A link that may be followed is followed to its target, so
// the link itself stays in place. The new file keeps the old one's permissions.
class CAtomicFile {
public:
    // Permissions of a file that did not exist before.
    enum ENewMode {
        NEW_PRIVATE, // 0600: the user's hosts (test URLs may hold passwords)
        NEW_UMASK,   // 0666 less the user's umask: reports and pictures meant for sharing
    };

    CAtomicFile() = default;
    ~CAtomicFile(); // removes the temporary file unless committed
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary file for strPath. False with the reason in GetError().
    bool Open(const std::string& strPath, ENewMode eNewMode = NEW_PRIVATE);
    // Descriptor of the temporary file, for writing.
    int GetFd() const { return m_nFd; }
    // Writes all of the bytes to the temporary file. False after a failure, with the reason in
    // GetError(); the temporary file is then dropped (as by Fail).
    bool Write(const void* pData, size_t nSize);
    // Flushes, closes and renames over the target. False with the reason in GetError();
    // the target is then untouched and the temporary file removed.
    bool Commit();
    // Drops the temporary file; the target is untouched.
    void Abort();
    // Records a failure of the caller's writing; Commit is not to be called after it.
    void Fail(int nErrno);

    const std::string& GetError() const { return m_strError; }

    // The file a path finally names after following the symbolic links that may be followed
    // (the path itself when it does not exist yet). False with the reason in plain words when
    // the links loop or a link is one that is refused ("... is a symbolic link that ...").
    static bool ResolveLinks(const std::string& strPath, std::string& strTarget,
                             std::string& strReason);
    // ResolveLinks, and then the file found must be a regular file or absent: a device, FIFO,
    // socket or folder is refused with the reason in plain words ("it is a FIFO, not a
    // regular file, and is left as it is").
    static bool ResolveRegular(const std::string& strPath, std::string& strTarget,
                               std::string& strReason);
    // Where to keep a damaged copy of strTarget without replacing an earlier one:
    // "<file>.damaged", then "<file>.damaged.1", ".2", ...
    static std::string GetFreeDamagedName(const std::string& strTarget);
    // The reason of a failed system call in plain words ("the disk is full").
    static std::string DescribeErrno(int nErrno);

    // A save killed part-way leaves its temporary file behind; the next successful save of
    // the same file removes those of ours older than this.
    static constexpr int STALE_TEMP_SECONDS = 600;

private:
    void SetError(const std::string& strWhat, int nErrno);
    // False, with the reason in m_strError, unless the target is a regular file or absent.
    bool CheckTarget();
    static void RemoveStaleTemps(int nDirFd, const std::string& strBase);

    std::string m_strTarget;
    std::string m_strTemp; // name in the target's folder
    std::string m_strError;
    int m_nDirFd = -1;
    int m_nFd = -1;
};
