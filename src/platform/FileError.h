#pragma once
// A failed file operation: names the file and the cause. Every failure of
// RandomAccessFile (and of the other file helpers) is thrown as one of these.

#include <stdexcept>
#include <string>

class FileError : public std::runtime_error {
  public:
    // `cause` is a sentence for the user; `errorNumber` the POSIX errno (0 when the
    // failure was detected by this program rather than reported by the system).
    FileError(std::string path, std::string cause, int errorNumber = 0);

    // Builds the error for a failed system call from errno.
    static FileError FromErrno(const std::string& path, int errorNumber);

    const std::string& Path() const { return m_strPath; }
    const std::string& Cause() const { return m_strCause; }
    int ErrorNumber() const { return m_nErrno; }

  private:
    std::string m_strPath;
    std::string m_strCause;
    int m_nErrno;
};
