// The core tests keep whatever the programs keep for the user (rewrite journals
// that find no place beside their files, undo records of folder saves) in a
// temporary home, never in the home of whoever runs them.

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "support/TestSystem.h"

namespace {
std::filesystem::path s_state;
}

void ResetStateHome() {
#ifdef _WIN32
    SetEnv(kStateHome, s_state);
#else
    UnsetEnv(kStateHome);
#endif
}

int main(int argc, char** argv) {
#ifdef _WIN32
    const int pid = ::_getpid();
#else
    const int pid = static_cast<int>(::getpid());
#endif
    const auto base = std::filesystem::temp_directory_path() / ("tkv-tests-" + std::to_string(pid));
    std::filesystem::create_directories(base / "home");
#ifdef _WIN32
    // The state folder on Windows lies in the local application data.
    s_state = base / "state";
    SetEnv(kStateHome, s_state);
#else
    ::setenv("HOME", (base / "home").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (base / "state").c_str(), 1);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
    return result;
}
