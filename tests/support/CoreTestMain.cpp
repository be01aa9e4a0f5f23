// The core tests keep whatever the programs keep for the user (rewrite journals
// that find no place beside their files, undo records of folder saves) in a
// temporary home, never in the home of whoever runs them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv) {
    const auto base =
        std::filesystem::temp_directory_path() / ("tkv-tests-" + std::to_string(::getpid()));
    std::filesystem::create_directories(base / "home");
    ::setenv("HOME", (base / "home").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (base / "state").c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
    return result;
}
