#pragma once
// Reads the system-wide settings that the instrument software keeps, without Qt,
// so the editor and the command-line tool decide from one reader with one set of
// rules. On this platform they are the INI files that QSettings keeps in the
// system scope. For each folder of $XDG_CONFIG_DIRS (default /etc/xdg), in order,
// "<dir>/<organization>/<application>.conf" is searched, and after all of those
// the organisation-wide "<dir>/<organization>.conf"; the first file that holds a
// key gives its value, as QSettings does. Values outside any group stand in the
// [General] section; quoted values and backslash escapes are read as QSettings
// writes them.
//
// One rule differs on purpose: QSettings reads an unquoted comma as a list
// separator, and a list is no text (a path like "/srv/a,b" written by hand would
// read as nothing). Every value here is text, commas and all, because the values
// read are folder paths and a comma is a legal character in one.
//
// On Windows the settings are the registry's, as the instrument software keeps
// them: "Software\<organization>\<application>" (a group is a subkey, "/" in
// it "\"), under HKEY_LOCAL_MACHINE and then HKEY_CURRENT_USER, in the 32-bit
// view that the instrument software writes; XDG_CONFIG_DIRS means nothing there.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class NativeSettings {
  public:
    // The system scope of `organization`/`application`: the files that exist are
    // read once, here.
    NativeSettings(std::string_view organization, std::string_view application);

    // The value of `key` ("Group/Key" for one inside a group) as text, or nothing.
    std::optional<std::string> Value(std::string_view key) const;
    // Whether any of the files has the group (a section of that name).
    bool HasGroup(std::string_view group) const;

    // The files searched, in order, whether or not they exist.
    static std::vector<std::string> SystemScopePaths(std::string_view organization,
                                                     std::string_view application);
    static std::optional<std::string> ReadValue(const std::string& path, std::string_view key);
    static std::optional<std::string> ParseValue(std::string_view iniText, std::string_view key);

  private:
    std::vector<std::string> m_texts;  // of the files that exist, in search order
    std::string m_strKey;              // Windows: the registry key, "Software\\org\\app"
};
