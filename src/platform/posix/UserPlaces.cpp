#include "platform/UserPlaces.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/FileSystem.h"

std::string UserPlaces::InstanceChannelName() {
    constexpr const char* kSocket = "/tkv-editor.socket";
    std::error_code ec;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && *runtime && std::filesystem::is_directory(runtime, ec))
        return runtime + std::string(kSocket);
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(ec);
    if (ec) return {};
    const std::string folder = (temporary / ("tkv-editor-" + std::to_string(::getuid()))).string();
    return FileSystem::MakeOwnFolder(folder) ? folder + kSocket : std::string();
}

bool UserPlaces::PeerIsThisUser(std::intptr_t handle) {
    struct ucred peer {};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(handle), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           size == sizeof peer && peer.uid == ::getuid();
}
