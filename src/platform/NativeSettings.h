#pragma once
// Reads values of the system-wide settings that the instrument software keeps,
// without Qt: on this platform they are the INI files that QSettings writes in
// the system scope, "<dir>/<organization>/<application>.conf" for each folder of
// $XDG_CONFIG_DIRS (default /etc/xdg), the first that exists. Values outside any
// group stand in the [General] section; quoted values and backslash escapes are
// read as QSettings writes them.

#include <optional>
#include <string>
#include <string_view>

class NativeSettings {
  public:
    // The settings file of the system scope, or "" when none exists.
    static std::string SystemScopePath(std::string_view organization, std::string_view application);
    // The value of `key` ("Group/Key" for one inside a group) as text, or nothing.
    static std::optional<std::string> ReadValue(const std::string& path, std::string_view key);
    static std::optional<std::string> ParseValue(std::string_view iniText, std::string_view key);
};
