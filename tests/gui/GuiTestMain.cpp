// The GUI tests run on Qt's offscreen platform, with the user's and the
// instrument's settings and the data folder in a temporary folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("TKV_SKIP_MIME_UPDATE", "1", 1);  // no desktop database to update here
    const auto base =
        std::filesystem::temp_directory_path() / ("tkv-gui-tests-" + std::to_string(::getpid()));
    std::filesystem::create_directories(base);
    ::setenv("XDG_DATA_HOME", (base / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (base / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (base / "state").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", base.c_str(), 1);
    // The instrument's settings: QSettings writes them where the programs read.
    ::setenv("XDG_CONFIG_DIRS", (base / "system").c_str(), 1);
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, (base / "user").c_str());
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, (base / "system").c_str());
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
    return result;
}
