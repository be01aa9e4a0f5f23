// The instrument's permission to edit, read without Qt: the configuration file's
// rule, and tkvhdr refusing to rewrite sample files when the instrument forbids
// editing (on Windows, the system settings read from the registry).

#include "cli/CliSupport.h"
#include "document/InstrumentEditPermission.h"
#include "platform/NativeSettings.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
// On Windows the settings are the registry's: the machine's key first, then the
// user's, in the 32-bit view, a group as a subkey. (A test key of its own, in
// the user's half, which a test may write.)
TEST(NativeSettingsTest, ReadsTheRegistryKeyOfTheInstrumentSoftware) {
    const wchar_t* key = L"Software\\TkvTestCompany\\Tessarin";
    auto put = [&](const wchar_t* sub, const wchar_t* name, const std::wstring& value) {
        HKEY open = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, sub, 0, nullptr, 0,
                                    KEY_WRITE | KEY_WOW64_32KEY, nullptr, &open, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(open, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(open);
    };
    put(key, L"DataSystemPath", L"C:\\Instr\\Syst\u00e8me");
    put(L"Software\\TkvTestCompany\\Tessarin\\Runwarden", L"DefaultDataPath", L"D:\\Runs");
    const NativeSettings settings("TkvTestCompany", "Tessarin");
    EXPECT_EQ(settings.Value("DataSystemPath"),
              std::optional<std::string>("C:\\Instr\\Syst\xC3\xA8me"));
    EXPECT_EQ(settings.Value("Runwarden/DefaultDataPath"), std::optional<std::string>("D:\\Runs"));
    EXPECT_FALSE(settings.Value("AnalyzedDataPath").has_value());
    EXPECT_TRUE(settings.HasGroup("Runwarden"));
    EXPECT_FALSE(settings.HasGroup("Orbisight"));
    EXPECT_FALSE(NativeSettings("TkvTestCompany", "Other").Value("DataSystemPath").has_value());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TkvTestCompany");
}
#endif

TEST(InstrumentEditPermissionTest, TheFirstKeywordLineDecides) {
    const std::pair<const char*, bool> cases[] = {
        {"ALLOW EDIT NO\n", false},
        {"x=1\nallow edit\tfalse\r\n", false},
        {"ALLOW EDIT\tN", false},
        {"ALLOW EDIT NO", false},  // no line feed: one line
        {"OTHER=1\nALLOW EDIT   F\n", false},
        {"ALLOW EDIT YES\n", true},
        {"ALLOW EDIT\n", true},
        {"ALLOW EDIT=NO\n", true},
        {" ALLOW EDIT NO\n", true},
        {"", true},
        {"[Run]\n\nALLOW EDIT YES\nALLOW EDIT NO\n", true},
    };
    for (const auto& [text, allowed] : cases)
        EXPECT_EQ(InstrumentEditPermission::TextAllowsEditing(text), allowed) << '"' << text << '"';
    EXPECT_TRUE(InstrumentEditPermission(std::nullopt).IsEditAllowed());
    EXPECT_TRUE(InstrumentEditPermission(std::string("/no/such/folder")).IsEditAllowed());
}

// With the instrument forbidding edits, every verb that writes refuses and
// writes nothing; reading and a dry run still work.
TEST(TkvHdrPermissionTest, WritingVerbsRefuseWhenTheInstrumentForbidsEditing) {
    TKV_POSIX_ONLY("the settings are INI files under XDG_CONFIG_DIRS (Windows: the registry)");
    TempDir dir;
    // Unset and empty both mean the system's default folders.
    const std::string saved = std::getenv("XDG_CONFIG_DIRS") ? std::getenv("XDG_CONFIG_DIRS") : "";
    fs::create_directories(dir.Path() / "xdg" / "Corvandel");
    fs::create_directories(dir.Path() / "system");
    WriteText(dir.File("xdg/Corvandel/Tessarin.conf"),
              "[General]\nDataSystemPath=" + dir.File("system") + "\n");
    SetEnv("XDG_CONFIG_DIRS", dir.Path() / "xdg");
    auto config = [&](const char* text) { WriteText(dir.File("system/Tessarin.ini"), text); };
    const std::string file = dir.File("a.tkv"),
                      sheet = WriteText(dir.File("in.csv"), "file,RUN.GAIN:long\na.tkv,6\n");
    ASSERT_EQ(Tool({"example", file}).status, 0);
    config("[Edit]\nALLOW EDIT NO\n");
    for (std::vector<std::string> args :
         {std::vector<std::string>{"set", file, "RUN.GAIN", "long", "6"},
          {"delete", file, "RUN.GAIN"},
          {"resave", file},
          {"apply", file, "RUN.GAIN", "long", "6"},
          {"sheet", "import", file, sheet}})
        EXPECT_TRUE(
            Contains(FailsUnchanged(file, args, 1), "editing is not allowed on this instrument"));
    EXPECT_EQ(Tool({"get", file, "RUN.GAIN"}).out, "5\n");
    EXPECT_EQ(Tool({"apply", "--dry-run", file, "RUN.GAIN", "long", "6"}).status, 0);
    config("ALLOW EDIT YES\n");
    EXPECT_EQ(Tool({"set", file, "RUN.GAIN", "long", "6"}).status, 0);
    SetEnv("XDG_CONFIG_DIRS", saved);
}

}  // namespace
