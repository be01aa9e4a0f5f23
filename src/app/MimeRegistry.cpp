#include "app/MimeRegistry.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "platform/FileSystem.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {
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

// The content types named by the packages in `folder`.
std::set<std::string> RegisteredTypes(const fs::path& folder) {
    std::set<std::string> types;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(MimeRegistry::kPackagePrefix, 0) != 0) continue;
        const std::string text = ReadText(e.path().string());
        const std::size_t at = text.find("<mime-type type=\"");
        if (at == std::string::npos) continue;
        const std::size_t from = at + 17, to = text.find('"', from);
        if (to != std::string::npos) types.insert(text.substr(from, to - from));
    }
    return types;
}
}  // namespace

MimeRegistry::MimeRegistry(std::string dataHome, std::string program, std::string clsid)
    : m_strDataHome(std::move(dataHome)),
      m_strProgram(std::move(program)),
      m_strClsid(std::move(clsid)) {}

std::string MimeRegistry::DefaultDataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share";
}

std::string MimeRegistry::PackagePath(const std::string& extension) const {
    const std::string ext =
        !extension.empty() && extension.front() == '.' ? extension.substr(1) : extension;
    return m_strDataHome + "/mime/packages/" + kPackagePrefix + ext + ".xml";
}

std::string MimeRegistry::DesktopEntryPath() const {
    return m_strDataHome + "/applications/" + kDesktopEntry;
}

bool MimeRegistry::WriteIfDifferent(const std::string& path, const std::string& text) {
    std::error_code ec;
    if (fs::exists(path, ec) && ReadText(path) == text) return true;
    fs::create_directories(fs::path(path).parent_path(), ec);
    // Written beside and renamed, so a reader never sees half a file.
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text;
        if (!out.flush()) return false;
    }
    fs::rename(temporary, path, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return false;
    }
    m_bChanged = true;
    return true;
}

bool MimeRegistry::Register(const std::string& extension, const std::string& contentType,
                            const std::string& fileTypeId, const std::string& fileTypeName) {
    std::ostringstream xml;
    xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        << "  <mime-type type=\"" << XmlEscape(contentType) << "\">\n"
        << "    <!-- file type " << XmlEscape(fileTypeId) << ", class " << XmlEscape(m_strClsid)
        << " -->\n"
        << "    <comment>" << XmlEscape(fileTypeName) << "</comment>\n"
        << "    <glob pattern=\"*" << XmlEscape(extension) << "\"/>\n"
        << "  </mime-type>\n"
        << "</mime-info>\n";
    if (!WriteIfDifferent(PackagePath(extension), xml.str())) return false;

    std::ostringstream desktop;
    desktop << "[Desktop Entry]\nType=Application\nName=TKV Extended Header Editor\n"
            << "Comment=Read and correct the headers of TKV/PKV sample data files\n"
            << "Exec=\"" << m_strProgram << "\" %f\nTerminal=false\nMimeType=";
    for (const std::string& type : RegisteredTypes(m_strDataHome + "/mime/packages"))
        desktop << type << ';';
    desktop << "\nX-TKV-FileTypeId=" << fileTypeId << "\nX-TKV-CLSID=" << m_strClsid << "\n";
    return WriteIfDifferent(DesktopEntryPath(), desktop.str());
}

bool MimeRegistry::UpdateDatabase() const {
    const std::string folder = m_strDataHome + "/mime";
    std::error_code ec;
    if (!fs::is_directory(folder + "/packages", ec)) return true;  // no database kept here
    std::vector<char*> argv{const_cast<char*>("update-mime-database"),
                            const_cast<char*>(folder.c_str()), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool MimeRegistry::Unregister() {
    bool ok = true;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(m_strDataHome + "/mime/packages", ec)) {
        if (e.path().filename().string().rfind(kPackagePrefix, 0) != 0) continue;
        std::error_code rc;
        fs::remove(e.path(), rc);
        ok = ok && !rc;
    }
    fs::remove(DesktopEntryPath(), ec);
    return ok && !ec;
}
