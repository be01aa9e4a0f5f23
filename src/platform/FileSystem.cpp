#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>

#include "platform/FileError.h"
#include "platform/NativeList.h"
#include "platform/PathText.h"
#include "platform/RandomAccessFile.h"

namespace fs = std::filesystem;

bool FileSystem::IsReadOnly(const std::string& path) {
    auto a = GetAttributes(path);
    return !a || a->readOnly;
}

bool FileSystem::IsPrivateFolder(const std::string& folder) {
    std::error_code ec;
    const fs::path real = fs::canonical(PathOf(folder), ec);
    if (ec) return false;
    fs::path absolute = fs::absolute(PathOf(folder), ec).lexically_normal();
    if (ec) return false;
    if (!absolute.has_filename() && absolute.has_relative_path()) absolute = absolute.parent_path();
    return native::PathIsPrivate(absolute) && native::PathIsPrivate(real);
}

bool FileSystem::Exists(const std::string& path) {
    return LookAt(path).kind != Look::Kind::None;
}

std::string FileSystem::DisplayName(const std::string& path) {
    return TextOf(PathOf(path).filename());
}

std::string FileSystem::FolderOf(const std::string& path) {
    fs::path parent = PathOf(path).parent_path();
    return parent.empty() ? std::string(".") : TextOf(parent);
}

std::string FileSystem::ExtensionOf(const std::string& path) {
    // From the last period of the name on, as the system splits a path: a name
    // that is only an extension (".tkv") has that extension, not none.
    const std::string name = DisplayName(path);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || name == "." || name == "..") return {};
    return name.substr(dot);
}

bool FileSystem::SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    const fs::path pa = PathOf(a), pb = PathOf(b);
    if (fs::exists(pa, ec) && fs::exists(pb, ec)) return fs::equivalent(pa, pb, ec);
    return fs::absolute(pa, ec).lexically_normal() == fs::absolute(pb, ec).lexically_normal();
}

namespace {
bool EndsWithIgnoringCase(const std::string& name, const std::string& ending) {
    if (ending.size() > name.size()) return false;
    return std::equal(ending.begin(), ending.end(),
                      name.end() - static_cast<std::ptrdiff_t>(ending.size()), [](char x, char y) {
                          auto fold = [](char c) {
                              return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
                          };
                          return fold(x) == fold(y);
                      });
}
}  // namespace

namespace {
// `name` in `folder`, with the system's separator.
std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
#ifdef _WIN32
    if (last == '\\' || last == '/' || last == ':') return folder + name;
    return folder + "\\" + name;
#else
    return last == '/' ? folder + name : folder + "/" + name;
#endif
}

const char* KindOf(FileSystem::Look::Kind kind) {
    using Kind = FileSystem::Look::Kind;
    switch (kind) {
        case Kind::Folder:
            return "a folder";
        case Kind::Fifo:
            return "a FIFO";
        case Kind::Socket:
            return "a socket";
        case Kind::Device:
            return "a device";
        default:
            return "not a regular file";
    }
}
}  // namespace

std::vector<FileSystem::FolderEntry> FileSystem::ListFiles(const std::string& folder,
                                                           const std::string& extension,
                                                           std::vector<LeftOut>* leftOut) {
    std::vector<std::string> names = native::FolderNames(folder);
    std::error_code ec;
    const fs::path realFolder = fs::canonical(PathOf(folder), ec);
    std::vector<FolderEntry> out;
    using Kind = Look::Kind;
    for (const std::string& name : names) {
        if (name == "." || name == ".." || !EndsWithIgnoringCase(name, extension)) continue;
        // Rewrite journals and their temporaries are never sample files.
        if (name.rfind(".tkvjournal-", 0) == 0 || name.rfind(".tkvjtmp-", 0) == 0) continue;
        const std::string full = Join(folder, name);
        const Look lst = LookAt(full);
        if (lst.kind == Kind::None) continue;
        Look st = lst;
        auto leave = [&](std::string reason) {
            if (leftOut) leftOut->push_back({name, std::move(reason)});
        };
        const bool link = lst.kind == Kind::Link;
        if (link) {
            // A link is followed only when it stays in the folder.
            fs::path target = fs::canonical(PathOf(full), ec);
            if (!ec) st = LookAt(full, true);
            if (ec || st.kind == Kind::None) {
                leave("a link to nothing");
                continue;
            }
            if (target.parent_path() != realFolder) {
                leave("a link that leads out of the folder");
                continue;
            }
        }
        if (st.kind != Kind::File) {  // folders, FIFOs and the like
            leave(KindOf(st.kind));
            continue;
        }
        // A link is opened by the name of the file it leads to (in this folder).
        const std::string openName =
            link ? TextOf(fs::canonical(PathOf(full), ec).filename()) : name;
        if (ec) {
            leave("a link to nothing");
            continue;
        }
        if (openName.rfind(".tkvjournal-", 0) == 0 || openName.rfind(".tkvjtmp-", 0) == 0) {
            leave("a link to a rewrite journal");
            continue;
        }
        // Through a link, only a file the folder-wide edit would take by its own
        // name is written: never one with another extension (a .pkv behind a .tkv).
        if (!EndsWithIgnoringCase(openName, extension)) {
            leave("a link to a file with another extension");
            continue;
        }
        out.push_back({full, name, st.readOnly, st.device, st.inode, link, openName});
    }
    std::sort(out.begin(), out.end(),
              [](const FolderEntry& x, const FolderEntry& y) { return x.name < y.name; });
    if (leftOut)
        std::sort(leftOut->begin(), leftOut->end(),
                  [](const LeftOut& x, const LeftOut& y) { return x.name < y.name; });
    return out;
}

std::string FileSystem::Absolute(const std::string& path) {
    std::error_code ec;
    return TextOf(fs::absolute(PathOf(path), ec).lexically_normal());
}

std::string FileSystem::RealPath(const std::string& path) {
    std::error_code ec;
    auto real = fs::canonical(PathOf(path), ec);
    return ec ? Absolute(path) : TextOf(real);
}

std::vector<std::string> FileSystem::ListNames(const std::string& folder) {
    RandomAccessFile::InjectFault(RandomAccessFile::FaultInjector::Op::List, folder);
    std::vector<std::string> names = native::FolderNames(folder);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FileSystem::NamesStartingWith(const std::string& folder,
                                                       const std::string& prefix) {
    std::vector<std::string> names;
    try {
        for (std::string& name : ListNames(folder))
            if (name.rfind(prefix, 0) == 0) names.push_back(std::move(name));
    } catch (const FileError&) {
        names.clear();
    }
    return names;
}

std::optional<std::string> FileSystem::ReadSmallFile(const std::string& path,
                                                     std::size_t maxBytes) {
    try {
        RandomAccessFile file(path, RandomAccessFile::Mode::Read);
        const auto length = file.Length();
        if (length > maxBytes) return std::nullopt;
        std::string text(static_cast<std::size_t>(length), '\0');
        if (file.Read(text.data(), text.size()) != text.size()) return std::nullopt;
        return text;
    } catch (const FileError&) {
        return std::nullopt;
    }
}
