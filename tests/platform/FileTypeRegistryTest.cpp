// The editor's file types for the user, registered into a scratch place and
// read back as the desktop reads them: on Windows the registry's values under a
// scratch key, elsewhere the text of the data folder's files.

#include <fstream>

#include "platform/FileTypeRegistry.h"
#include "support/TestFiles.h"

#ifdef _WIN32
#include <windows.h>

#include <process.h>

#include "platform/win32/Win32.h"
#endif

namespace {

constexpr const char* kClsid = "{6F1C2A3B-9D4E-4B5A-8C7D-0E1F2A3B4C5D}";
constexpr const char* kTypeId = "TKV.Document";
constexpr const char* kTypeName = "TKV/PKV Document";

// What the desktop shows and runs for an extension: all empty when nothing
// claims it.
struct Association {
    std::string contentType, typeName, command;
    bool operator==(const Association&) const = default;
};

#ifdef _WIN32
constexpr const char* kProgram =
    "C:\\Programme\\\xC3\x89"
    "diteur\\tkv-editor.exe";
const std::string kOpenCommand = std::string("\"") + kProgram + "\" \"%1\"";

class Scratch {
  public:
    const std::string base = "Software\\tkv-tests-" + std::to_string(::_getpid());
    const std::string place = base + "\\Classes";
    ~Scratch() { ::RegDeleteTreeW(HKEY_CURRENT_USER, win32::Wide(base).c_str()); }

    Association Of(const std::string& extension) const {
        const std::string typeId = Value(extension, nullptr);
        if (typeId.empty()) return {Value(extension, L"Content Type"), "", ""};
        return {Value(extension, L"Content Type"), Value(typeId, nullptr),
                Value(typeId + "\\shell\\open\\command", nullptr)};
    }
    // Another program takes the extension over.
    void PlantForeign(const std::string& extension) const {
        const std::wstring key = win32::Wide(place + "\\" + extension);
        for (const auto& [name, value] :
             {std::pair{L"", L"Other.Viewer"}, std::pair{L"Content Type", L"application/x-other"}})
            ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_SZ, value,
                                        static_cast<DWORD>((std::wcslen(value) + 1) * 2)),
                      ERROR_SUCCESS);
    }

  private:
    // A text value straight from the registry, as the shell reads it.
    std::string Value(const std::string& key, const wchar_t* name) const {
        wchar_t text[512];
        DWORD bytes = sizeof text;
        if (::RegGetValueW(HKEY_CURRENT_USER, win32::Wide(place + "\\" + key).c_str(), name,
                           RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
            return {};
        return win32::Narrow(std::wstring(text));
    }
};
#else
constexpr const char* kProgram =
    "/opt/\xC3\x89"
    "diteur/bin/tkv-editor";
const std::string kOpenCommand = std::string("\"") + kProgram + "\" %f";

class Scratch {
  public:
    TempDir dir;
    const std::string place = dir.File("share");

    // The packages' globs give the content type and its name; the desktop entry
    // that lists the content type gives the command.
    Association Of(const std::string& extension) const {
        Association found;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(place + "/mime/packages", ec)) {
            const std::string xml = Text(e.path());
            if (!Contains(xml, "<glob pattern=\"*" + extension + "\"/>")) continue;
            found.contentType = Between(xml, "<mime-type type=\"", "\"");
            found.typeName = Between(xml, "<comment>", "</comment>");
        }
        const std::string entry = Text(place + "/applications/tkv-editor.desktop");
        if (!found.contentType.empty() &&
            Contains(";" + Between(entry, "\nMimeType=", "\n"), ";" + found.contentType + ";"))
            found.command = Between(entry, "\nExec=", "\n");
        return found;
    }
    void PlantForeign(const std::string& extension) const {
        std::ofstream(place + "/mime/packages/other-viewer.xml")
            << "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">"
            << "<mime-type type=\"application/x-other\"><glob pattern=\"*" << extension
            << "\"/></mime-type></mime-info>\n";
    }

  private:
    static std::string Text(const std::filesystem::path& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::string Between(const std::string& text, const std::string& from,
                               const std::string& to) {
        const std::size_t at = text.find(from);
        if (at == std::string::npos) return {};
        const std::size_t start = at + from.size();
        return text.substr(start, text.find(to, start) - start);
    }
};
#endif

TEST(FileTypeRegistryTest, RegistersOnceReadsBackAndUnregistersOnlyItsOwn) {
    Scratch scratch;
    const auto ForUser = [&](const char* clsid) {
        return FileTypeRegistry::ForUser(kProgram, clsid, scratch.place);
    };
    // Names that would reach another file or key are refused, nothing written.
    const std::pair<const char*, const char*> badNames[] = {{"tkv", kTypeId},
                                                            {"./../x", kTypeId},
                                                            {".t\\v", kTypeId},
                                                            {".tkv", "..\\Evil"},
                                                            {".tkv", ""}};
    for (const auto& [extension, typeId] : badNames) {
        const auto registry = ForUser(kClsid);
        EXPECT_FALSE(registry->Register(extension, "application/CV-TKV", typeId, kTypeName));
        EXPECT_NE(registry->Failure(), "") << extension << " " << typeId;
        EXPECT_FALSE(registry->Changed());
    }
    EXPECT_EQ(scratch.Of(".tkv"), Association{});

    const std::pair<const char*, const char*> types[] = {{".tkv", "application/CV-TKV"},
                                                         {".pkv", "application/CV-PKV"}};
    for (const auto& [extension, contentType] : types) {
        const auto first = ForUser(kClsid);
        ASSERT_TRUE(first->Register(extension, contentType, kTypeId, kTypeName))
            << first->Failure();
        EXPECT_TRUE(first->Changed()) << extension;
        const auto again = ForUser(kClsid);
        ASSERT_TRUE(again->Register(extension, contentType, kTypeId, kTypeName));
        EXPECT_FALSE(again->Changed()) << extension << ": all in place, nothing written";
    }
    for (const auto& [extension, contentType] : types)
        EXPECT_EQ(scratch.Of(extension), (Association{contentType, kTypeName, kOpenCommand}))
            << extension;

    // Another program's registrations and the extension it took over stay.
    scratch.PlantForeign(".pkv");
    const auto other = ForUser("{00000000-0000-0000-0000-000000000001}");
    EXPECT_TRUE(other->Unregister());
    EXPECT_FALSE(other->Changed()) << "what another class wrote is not its own";
    const auto registry = FileTypeRegistry::ForUser("", kClsid, scratch.place);
    ASSERT_TRUE(registry->Unregister()) << registry->Failure();
    EXPECT_TRUE(registry->Changed());
    EXPECT_EQ(scratch.Of(".tkv"), Association{});
    EXPECT_EQ(scratch.Of(".pkv").contentType, "application/x-other");
    EXPECT_TRUE(registry->Announce(true)) << registry->Failure();
}

}  // namespace
