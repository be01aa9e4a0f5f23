#pragma once
// What the tests need of the system where it differs between POSIX and Windows:
// the environment, and the skip of a test that needs what only POSIX has
// (fork, FIFOs, signals, other users, mode bits).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#ifdef _WIN32
#define TKV_POSIX_ONLY(why) GTEST_SKIP() << "needs POSIX: " << why
// The variable that names where the user's state folder lies.
inline constexpr const char* kStateHome = "LOCALAPPDATA";
#else
#define TKV_POSIX_ONLY(why) static_cast<void>(0)
inline constexpr const char* kStateHome = "XDG_STATE_HOME";
#endif

inline void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    ::_putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

inline void SetEnv(const char* name, const std::filesystem::path& value) {
#ifdef _WIN32
    const std::u8string text = value.u8string();
    SetEnv(name, std::string(text.begin(), text.end()));
#else
    SetEnv(name, value.string());
#endif
}

inline void UnsetEnv(const char* name) {
#ifdef _WIN32
    ::_putenv_s(name, "");
#else
    ::unsetenv(name);
#endif
}

// The state folder back to the run's own (CoreTestMain): on POSIX under the
// temporary HOME, on Windows the temporary LOCALAPPDATA set at start.
void ResetStateHome();
