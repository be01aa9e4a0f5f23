#include "platform/NativeSettings.h"

#include <cctype>
#include <cstdlib>

#include "platform/FileSystem.h"

#ifdef _WIN32
#include "platform/win32/Win32.h"
#endif

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// A value as QSettings writes it: optionally in double quotes, with backslash
// escapes (\\ \" \t \n \r \0 and \xhhhh for characters it cannot write plain).
std::string Unescape(std::string_view raw) {
    std::string out;
    bool quoted = false;
    std::size_t kept = 0;  // what a quote ended: blanks up to there are the value's
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '"') {
            quoted = !quoted;
            kept = out.size();
            continue;
        }
        if (c == ';' && !quoted) {  // a comment, and the blanks before it
            while (out.size() > kept && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
            break;
        }
        if (c != '\\' || i + 1 >= raw.size()) {
            out += c;
            continue;
        }
        const char e = raw[++i];
        switch (e) {
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case '0':
                out += '\0';
                break;
            case 'x': {
                unsigned code = 0;
                std::size_t n = 0;
                while (n < 4 && i + 1 < raw.size() &&
                       std::isxdigit(static_cast<unsigned char>(raw[i + 1]))) {
                    const char h = raw[++i];
                    code = code * 16 +
                           static_cast<unsigned>(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                    ++n;
                }
                // As UTF-8.
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default:
                out += e;
                break;  // \\ \" \; and the like
        }
    }
    return out;
}

// Calls `line` with each line of an INI text, trimmed, until it returns true.
template <class F>
bool AnyLine(std::string_view text, F&& line) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        if (line(Trim(text.substr(start, end - start)))) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

#ifdef _WIN32

namespace {
// The string value `name` of `key` under HKEY_LOCAL_MACHINE, else under
// HKEY_CURRENT_USER, in the 32-bit view.
std::optional<std::string> RegistryValue(const std::wstring& key, const std::wstring& name) {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY open = nullptr;
        if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &open) !=
            ERROR_SUCCESS)
            continue;
        DWORD bytes = 0;
        std::optional<std::string> value;
        if (::RegGetValueW(open, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes) ==
                ERROR_SUCCESS &&
            bytes <= (1u << 20)) {  // no setting is larger
            std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
            if (::RegGetValueW(open, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, text.data(),
                               &bytes) == ERROR_SUCCESS)
                value = win32::Narrow(text.c_str(), wcslen(text.c_str()));
        }
        ::RegCloseKey(open);
        if (value) return value;
    }
    return std::nullopt;
}

// The registry key of a group ("" or "General": the key itself).
std::wstring GroupKey(const std::string& key, std::string_view group) {
    std::string out = key;
    if (!group.empty() && group != "General") {
        out += '\\';
        for (char c : group) out += c == '/' ? '\\' : c;
    }
    return win32::Wide(out);
}
}  // namespace

std::vector<std::string> NativeSettings::SystemScopePaths(std::string_view, std::string_view) {
    return {};  // the registry holds them
}

NativeSettings::NativeSettings(std::string_view organization, std::string_view application)
    : m_strKey("Software\\" + std::string(organization) + "\\" + std::string(application)) {}

std::optional<std::string> NativeSettings::Value(std::string_view key) const {
    std::string_view group, name = key;
    if (const auto slash = key.rfind('/'); slash != std::string_view::npos) {
        group = key.substr(0, slash);
        name = key.substr(slash + 1);
    }
    return RegistryValue(GroupKey(m_strKey, group), win32::Wide(std::string(name)));
}

bool NativeSettings::HasGroup(std::string_view group) const {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY open = nullptr;
        if (::RegOpenKeyExW(root, GroupKey(m_strKey, group).c_str(), 0, KEY_READ | KEY_WOW64_32KEY,
                            &open) == ERROR_SUCCESS) {
            ::RegCloseKey(open);
            return true;
        }
    }
    return false;
}

#else

std::vector<std::string> NativeSettings::SystemScopePaths(std::string_view organization,
                                                          std::string_view application) {
    const char* env = std::getenv("XDG_CONFIG_DIRS");
    std::string_view list = env && *env ? env : "/etc/xdg";
    std::vector<std::string> dirs;
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        const std::string_view dir = list.substr(0, colon);
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
        if (!dir.empty()) dirs.emplace_back(dir);
    }
    std::vector<std::string> paths;
    for (const std::string& dir : dirs)
        paths.push_back(dir + '/' + std::string(organization) + '/' + std::string(application) +
                        ".conf");
    for (const std::string& dir : dirs)
        paths.push_back(dir + '/' + std::string(organization) + ".conf");
    return paths;
}

NativeSettings::NativeSettings(std::string_view organization, std::string_view application) {
    for (const std::string& path : SystemScopePaths(organization, application))
        if (auto text = FileSystem::ReadSmallFile(path, 1u << 20))  // no settings file is larger
            m_texts.push_back(std::move(*text));
}

std::optional<std::string> NativeSettings::Value(std::string_view key) const {
    for (const std::string& text : m_texts)
        if (auto value = ParseValue(text, key)) return value;
    return std::nullopt;
}

bool NativeSettings::HasGroup(std::string_view group) const {
    for (std::string_view text : m_texts)
        if (AnyLine(text, [&](std::string_view line) {
                return line.size() == group.size() + 2 && line.front() == '[' &&
                       line.back() == ']' && line.substr(1, group.size()) == group;
            }))
            return true;
    return false;
}

#endif

std::optional<std::string> NativeSettings::ParseValue(std::string_view text, std::string_view key) {
    std::string_view group = "General";
    std::string_view name = key;
    if (const auto slash = key.rfind('/'); slash != std::string_view::npos) {
        group = key.substr(0, slash);
        name = key.substr(slash + 1);
    }
    std::string_view section = "General";  // keys before any section are general ones
    std::optional<std::string> value;
    AnyLine(text, [&](std::string_view line) {
        if (line.empty() || line.front() == ';' || line.front() == '#') return false;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            return false;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || section != group || Trim(line.substr(0, eq)) != name)
            return false;
        value = Unescape(Trim(line.substr(eq + 1)));
        return true;
    });
    return value;
}

std::optional<std::string> NativeSettings::ReadValue(const std::string& path,
                                                     std::string_view key) {
    if (path.empty()) return std::nullopt;
    const auto text = FileSystem::ReadSmallFile(path, 1u << 20);  // no settings file is larger
    if (!text) return std::nullopt;
    return ParseValue(*text, key);
}
