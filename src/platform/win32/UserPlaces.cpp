#include "platform/UserPlaces.h"

#include "platform/win32/Win32.h"  // windows.h, which sddl.h needs first

#include <sddl.h>

std::string UserPlaces::InstanceChannelName() {
    // Named pipes share one namespace on the machine: the user's security id
    // makes the name the user's, and the listener's own is checked on connecting.
    const std::vector<BYTE>& user = win32::CurrentUser();
    wchar_t* text = nullptr;
    if (user.empty() || !::ConvertSidToStringSidW(const_cast<BYTE*>(user.data()), &text)) return {};
    const std::string name = "\\\\.\\pipe\\tkv-editor-" + win32::Narrow(std::wstring(text));
    ::LocalFree(text);
    return name;
}

bool UserPlaces::PeerIsThisUser(std::intptr_t handle) {
    ULONG server = 0;
    if (!::GetNamedPipeServerProcessId(reinterpret_cast<HANDLE>(handle), &server)) return false;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, server);
    if (!process) return false;
    HANDLE token = nullptr;
    std::vector<BYTE> peer;
    if (::OpenProcessToken(process, TOKEN_QUERY, &token)) {
        peer = win32::UserOf(token);
        ::CloseHandle(token);
    }
    ::CloseHandle(process);
    const std::vector<BYTE>& me = win32::CurrentUser();
    return !peer.empty() && !me.empty() && ::EqualSid(peer.data(), const_cast<BYTE*>(me.data()));
}
