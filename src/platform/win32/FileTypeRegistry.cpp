// The Windows file association of the program's file types, under the
// current user's classes key (see FileTypeRegistry.h).
#include "platform/FileTypeRegistry.h"

#include <shlobj.h>

#include <cwchar>
#include <optional>
#include <set>
#include <vector>

#include "platform/win32/Win32.h"

namespace {
constexpr const wchar_t* kUserClasses = L"Software\\Classes";
constexpr const wchar_t* kContentType = L"Content Type";

// The text value `name` (nullptr: the key's default value) of `key` under
// HKEY_CURRENT_USER; nothing when the key or the value is missing.
std::optional<std::wstring> ReadString(const std::wstring& key, const wchar_t* name) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD bytes = 0;
        if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr,
                           &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LSTATUS status = ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ,
                                              nullptr, text.data(), &bytes);
        if (status == ERROR_MORE_DATA) continue;  // it grew meanwhile
        if (status != ERROR_SUCCESS) return std::nullopt;
        text.resize(bytes / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return text;
    }
    return std::nullopt;
}

// The names of the subkeys of `key` under HKEY_CURRENT_USER (none when it is missing).
std::vector<std::wstring> SubkeyNames(const std::wstring& key) {
    std::vector<std::wstring> names;
    HKEY open = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &open) != ERROR_SUCCESS)
        return names;
    std::wstring name(256, L'\0');  // a key's name is at most 255 characters
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        if (::RegEnumKeyExW(open, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name.data(), length);
    }
    ::RegCloseKey(open);
    return names;
}

class ShellRegistry final : public FileTypeRegistry {
  public:
    ShellRegistry(std::wstring root, std::string program, std::string clsid)
        : m_strRoot(std::move(root)),
          m_strProgram(win32::Wide(program)),
          m_strClsid(win32::Wide(clsid)) {}

  private:
    bool Write(const std::string& extension, const std::string& contentType,
               const std::string& fileTypeId, const std::string& fileTypeName) override {
        const std::wstring ext = m_strRoot + L"\\" + win32::Wide(extension);
        const std::wstring type = m_strRoot + L"\\" + win32::Wide(fileTypeId);
        return Set(ext, nullptr, win32::Wide(fileTypeId)) &&
               Set(ext, kContentType, win32::Wide(contentType)) &&
               Set(type, nullptr, win32::Wide(fileTypeName)) &&
               Set(type + L"\\CLSID", nullptr, m_strClsid) &&
               Set(type + L"\\DefaultIcon", nullptr, m_strProgram + L",0") &&
               Set(type + L"\\shell\\open\\command", nullptr, L"\"" + m_strProgram + L"\" \"%1\"");
    }

  public:
    bool Unregister() override {
        // This program's file types are the keys whose CLSID is its own.
        const std::vector<std::wstring> names = SubkeyNames(m_strRoot);
        // Key names are compared as the registry does, without regard to case.
        const auto before = [](const std::wstring& a, const std::wstring& b) {
            return ::_wcsicmp(a.c_str(), b.c_str()) < 0;
        };
        std::set<std::wstring, decltype(before)> ours(before);
        for (const std::wstring& name : names)
            if (name.front() != L'.' &&
                ReadString(m_strRoot + L"\\" + name + L"\\CLSID", nullptr) == m_strClsid)
                ours.insert(name);
        bool ok = true;
        for (const std::wstring& name : names) {
            if (name.front() != L'.') continue;
            const std::wstring key = m_strRoot + L"\\" + name;
            const std::optional<std::wstring> type = ReadString(key, nullptr);
            if (type && ours.count(*type)) ok = RemoveExtension(key) && ok;
        }
        for (const std::wstring& name : ours) {
            const std::wstring key = m_strRoot + L"\\" + name;
            const LSTATUS status = ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
            if (status != ERROR_SUCCESS) ok = Failed(key, static_cast<DWORD>(status)) && ok;
            m_bChanged = m_bChanged || status == ERROR_SUCCESS;
        }
        return ok;
    }

    bool Announce(bool wait) override {
        ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST | (wait ? SHCNF_FLUSH : 0), nullptr,
                         nullptr);
        return true;
    }

  private:
    bool Failed(const std::wstring& key, DWORD code) {
        return Fail("cannot change HKEY_CURRENT_USER\\" + win32::Narrow(key) + ": " +
                    win32::MessageOf(code));
    }

    bool Set(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
        if (ReadString(key, name) == value) return true;
        HKEY open = nullptr;
        LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0,
                                           KEY_SET_VALUE, nullptr, &open, nullptr);
        if (status == ERROR_SUCCESS) {
            status = ::RegSetValueExW(open, name, 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
            ::RegCloseKey(open);
        }
        if (status != ERROR_SUCCESS) return Failed(key, static_cast<DWORD>(status));
        m_bChanged = true;
        return true;
    }

    // Takes the two values Register wrote from an extension's key; the key goes
    // too when nothing else is left in it.
    bool RemoveExtension(const std::wstring& key) {
        HKEY open = nullptr;
        LSTATUS status =
            ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ | KEY_SET_VALUE, &open);
        if (status != ERROR_SUCCESS) return Failed(key, static_cast<DWORD>(status));
        for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), kContentType}) {
            const LSTATUS removed = ::RegDeleteValueW(open, name);
            if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) status = removed;
        }
        DWORD subkeys = 0, values = 0;
        const bool empty =
            ::RegQueryInfoKeyW(open, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
            subkeys == 0 && values == 0;
        ::RegCloseKey(open);
        m_bChanged = true;
        if (status != ERROR_SUCCESS) return Failed(key, static_cast<DWORD>(status));
        if (empty) ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
        return true;
    }

    std::wstring m_strRoot;
    std::wstring m_strProgram;
    std::wstring m_strClsid;
};
}  // namespace

std::unique_ptr<FileTypeRegistry> FileTypeRegistry::ForUser(std::string program, std::string clsid,
                                                            std::string place) {
    return std::make_unique<ShellRegistry>(place.empty() ? kUserClasses : win32::Wide(place),
                                           std::move(program), std::move(clsid));
}
