#pragma once

#include <string>

// Replaces a file as a whole or not at all: the new content goes to a temporary file in the
// same folder, is flushed to the disk and then renamed over the old file. A crash, a full
// disk or a size limit therefore leaves either the old file or the new one, never a mix.
// The new file keeps the old one's permissions; a symbolic link is followed to its target,
// so the link itself stays in place.
class CAtomicFile {
public:
    CAtomicFile() = default;
    ~CAtomicFile(); // removes the temporary file unless committed
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary file for strPath. False with the reason in GetError().
    bool Open(const std::string& strPath);
    // Descriptor of the temporary file, for writing.
    int GetFd() const { return m_nFd; }
    // Flushes, closes and renames over the target. False with the reason in GetError();
    // the target is then untouched and the temporary file removed.
    bool Commit();
    // Drops the temporary file; the target is untouched.
    void Abort();
    // Records a failure of the caller's writing; Commit is not to be called after it.
    void Fail(int nErrno);

    const std::string& GetError() const { return m_strError; }

    // The file a path finally names after following symbolic links (the path itself when it
    // does not exist yet). False with errno set when the links loop.
    static bool ResolveLinks(const std::string& strPath, std::string& strTarget);
    // The reason of a failed system call in plain words ("the disk is full").
    static std::string DescribeErrno(int nErrno);

    // A save killed part-way leaves its temporary file behind; the next successful save of
    // the same file removes those of ours older than this.
    static constexpr int STALE_TEMP_SECONDS = 600;

private:
    void SetError(const std::string& strWhat, int nErrno);
    static void RemoveStaleTemps(int nDirFd, const std::string& strBase);

    std::string m_strTarget;
    std::string m_strTemp;
    std::string m_strError;
    int m_nFd = -1;
};
