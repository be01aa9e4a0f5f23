#pragma once
// What the Win32 side of the platform layer shares: UTF-8 to UTF-16 and back
// at every call, and Windows error codes turned into FileError (the system's
// own text, and the errno value the portable code compares with).

#include <windows.h>

#include <string>
#include <vector>

#include "platform/FileError.h"

namespace win32 {
std::wstring Wide(const std::string& utf8);
std::string Narrow(const wchar_t* text, std::size_t length);
inline std::string Narrow(const std::wstring& text) {
    return Narrow(text.data(), text.size());
}
// The errno value closest to a Windows error code.
int ErrnoOf(DWORD code);
// The system's text for a Windows error code (FormatMessageW), without its line end.
std::string MessageOf(DWORD code);
FileError ErrorOf(const std::string& path, DWORD code);
// The security id of the user an access token stands for (empty when it cannot
// be read), and that of the user running the program.
std::vector<BYTE> UserOf(HANDLE token);
const std::vector<BYTE>& CurrentUser();
}  // namespace win32
