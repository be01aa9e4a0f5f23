#pragma once
// What the tests need of the system where it differs between POSIX and Windows:
// the environment, and the skip of a test that needs what only POSIX has
// (fork, FIFOs, signals, other users, mode bits).

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

// The system's own words for a missing file, as a file error names them.
std::string NoSuchFileText();

// A path as the tool shows it on one line: its backslashes (Windows' separator)
// doubled, as every backslash is.
inline std::string ShownPath(std::string path) {
    for (std::size_t at = 0; (at = path.find('\\', at)) != std::string::npos; at += 2)
        path.insert(at, 1, '\\');
    return path;
}
