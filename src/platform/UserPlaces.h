#pragma once
// Where the editor's pieces for the current user lie on this system: the name
// its instance channel listens under, and where its help file may be. The
// system's side lies in posix/ or win32/UserPlaces.cpp, chosen by the build.

#include <cstdint>
#include <string>
#include <vector>

class UserPlaces {
  public:
    // The name of the editor's instance channel, the user's alone. POSIX: a
    // local socket in $XDG_RUNTIME_DIR, else in a folder of the user's own in
    // the temporary folder (made and checked here: another user may have made
    // any name there first). Windows: a named pipe named by the user's security
    // id. Empty when there is no private place.
    static std::string InstanceChannelName();
    // True when the process at the other end of the connected channel `handle`
    // (a socket descriptor; on Windows a pipe handle) runs as the current user:
    // another user's listener would learn every file opened.
    static bool PeerIsThisUser(std::intptr_t handle);
    // Where the help file `name` may lie, in the order to look: beside `program`,
    // then in the folder `installedFromProgram` names relative to the program's
    // folder (left out when empty), as an installation puts it.
    static std::vector<std::string> HelpFileCandidates(const std::string& program,
                                                       const std::string& name,
                                                       const std::string& installedFromProgram);
};
