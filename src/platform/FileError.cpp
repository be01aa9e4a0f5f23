#include "platform/FileError.h"

#include <cstring>

FileError::FileError(std::string path, std::string cause, int errorNumber)
    : std::runtime_error(path + ": " + cause),
      m_strPath(std::move(path)),
      m_strCause(std::move(cause)),
      m_nErrno(errorNumber) {}

FileError FileError::FromErrno(const std::string& path, int errorNumber) {
    return FileError(path, std::strerror(errorNumber), errorNumber);
}
