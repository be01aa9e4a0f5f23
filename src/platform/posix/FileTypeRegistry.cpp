// The freedesktop registration of the program's file types, in a user's data
// folder (see FileTypeRegistry.h).
#include "platform/FileTypeRegistry.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "platform/FileSystem.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {
constexpr const char* kPackagePrefix = "tkv-editor-";
constexpr const char* kDesktopEntry = "tkv-editor.desktop";
constexpr const char* kNoDataHome = "no data folder: neither XDG_DATA_HOME nor HOME is set";

std::string ReadText(const std::string& path) {
    return FileSystem::ReadSmallFile(path, 1u << 20).value_or(std::string());
}

std::string XmlEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool IsOurPackage(const fs::path& path) {
    return path.filename().string().rfind(kPackagePrefix, 0) == 0 && path.extension() == ".xml";
}

// What marks a file as written for `clsid`: a package's comment, the desktop
// entry's key.
std::string PackageMark(const std::string& clsid) {
    return ", class " + XmlEscape(clsid) + " -->";
}
std::string EntryMark(const std::string& clsid) {
    return "\nX-TKV-CLSID=" + clsid + "\n";
}

// The content types named by this program's packages in `folder`.
std::set<std::string> RegisteredTypes(const fs::path& folder) {
    std::set<std::string> types;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        if (!IsOurPackage(e.path())) continue;
        const std::string text = ReadText(e.path().string());
        const std::size_t at = text.find("<mime-type type=\"");
        if (at == std::string::npos) continue;
        const std::size_t from = at + 17, to = text.find('"', from);
        if (to != std::string::npos) types.insert(text.substr(from, to - from));
    }
    return types;
}

class FreedesktopRegistry final : public FileTypeRegistry {
  public:
    FreedesktopRegistry(std::string dataHome, std::string program, std::string clsid)
        : m_strDataHome(std::move(dataHome)),
          m_strProgram(std::move(program)),
          m_strClsid(std::move(clsid)) {}

  private:
    bool Write(const std::string& extension, const std::string& contentType,
               const std::string& fileTypeId, const std::string& fileTypeName) override {
        if (m_strDataHome.empty()) return Fail(kNoDataHome);
        std::ostringstream xml;
        xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            << "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
            << "  <mime-type type=\"" << XmlEscape(contentType) << "\">\n"
            << "    <!-- file type " << XmlEscape(fileTypeId) << PackageMark(m_strClsid) << "\n"
            << "    <comment>" << XmlEscape(fileTypeName) << "</comment>\n"
            << "    <glob pattern=\"*" << XmlEscape(extension) << "\"/>\n"
            << "  </mime-type>\n"
            << "</mime-info>\n";
        if (!WriteIfDifferent(PackagePath(extension), xml.str())) return false;

        std::ostringstream desktop;
        desktop << "[Desktop Entry]\nType=Application\nName=TKV Extended Header Editor\n"
                << "Comment=Read and correct the headers of TKV/PKV sample data files\n"
                << "Exec=\"" << m_strProgram << "\" %f\nTerminal=false\nMimeType=";
        for (const std::string& type : RegisteredTypes(PackageFolder())) desktop << type << ';';
        desktop << "\nX-TKV-FileTypeId=" << fileTypeId << EntryMark(m_strClsid);
        return WriteIfDifferent(DesktopEntryPath(), desktop.str());
    }

  public:
    bool Unregister() override {
        if (m_strDataHome.empty()) return Fail(kNoDataHome);
        bool ok = true;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(PackageFolder(), ec))
            if (IsOurPackage(e.path()) &&
                ReadText(e.path().string()).find(PackageMark(m_strClsid)) != std::string::npos)
                ok = Remove(e.path().string()) && ok;
        if (ReadText(DesktopEntryPath()).find(EntryMark(m_strClsid)) != std::string::npos)
            ok = Remove(DesktopEntryPath()) && ok;
        return ok;
    }

    bool Announce(bool wait) override {
        const std::string folder = m_strDataHome + "/mime";
        std::error_code ec;
        if (m_strDataHome.empty() || !fs::is_directory(PackageFolder(), ec))
            return true;  // no database kept here
        // Not waited for: a shell that leaves the tool running in the background
        // and ends at once, so no child is left to reap.
        std::vector<char*> argv =
            wait ? std::vector<char*>{const_cast<char*>("update-mime-database"),
                                      const_cast<char*>(folder.c_str()), nullptr}
                 : std::vector<char*>{const_cast<char*>("sh"), const_cast<char*>("-c"),
                                      const_cast<char*>("update-mime-database \"$0\" "
                                                        ">/dev/null 2>&1 &"),
                                      const_cast<char*>(folder.c_str()), nullptr};
        pid_t pid = 0;
        if (const int e = ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ))
            return Fail(std::string("cannot run ") + argv[0] + ": " + std::strerror(e));
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0)
            if (errno != EINTR)
                return Fail(std::string("update-mime-database: ") + std::strerror(errno));
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
        return Fail("update-mime-database failed on " + folder);
    }

  private:
    std::string PackageFolder() const { return m_strDataHome + "/mime/packages"; }
    std::string PackagePath(const std::string& extension) const {
        const std::string ext =
            !extension.empty() && extension.front() == '.' ? extension.substr(1) : extension;
        return PackageFolder() + "/" + kPackagePrefix + ext + ".xml";
    }
    std::string DesktopEntryPath() const {
        return m_strDataHome + "/applications/" + kDesktopEntry;
    }

    bool Remove(const std::string& path) {
        std::error_code ec;
        if (!fs::remove(path, ec) && ec) return Fail("cannot remove " + path + ": " + ec.message());
        m_bChanged = true;
        return true;
    }

    bool WriteIfDifferent(const std::string& path, const std::string& text) {
        std::error_code ec;
        if (fs::exists(path, ec) && ReadText(path) == text) return true;
        fs::create_directories(fs::path(path).parent_path(), ec);
        // Written beside and renamed, so a reader never sees half a file.
        const std::string temporary = path + ".new";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            if (!out) return Fail("cannot write " + temporary + ": " + std::strerror(errno));
            out << text;
            if (!out.flush()) return Fail("cannot write " + temporary);
        }
        fs::rename(temporary, path, ec);
        if (ec) {
            const std::string reason = ec.message();
            fs::remove(temporary, ec);
            return Fail("cannot write " + path + ": " + reason);
        }
        m_bChanged = true;
        return true;
    }

    std::string m_strDataHome;
    std::string m_strProgram;
    std::string m_strClsid;
};

// Empty when neither is set: no shared folder such as /tmp stands in, since
// another user could make it first.
std::string DefaultDataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return xdg;
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.local/share" : std::string();
}
}  // namespace

std::unique_ptr<FileTypeRegistry> FileTypeRegistry::ForUser(std::string program, std::string clsid,
                                                            std::string place) {
    return std::make_unique<FreedesktopRegistry>(
        place.empty() ? DefaultDataHome() : std::move(place), std::move(program), std::move(clsid));
}
