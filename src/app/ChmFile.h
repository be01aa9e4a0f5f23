#pragma once
// Read access to a compiled help file (.chm): its objects by path and its table
// of contents (the .hhc sitemap it holds).

#include <memory>
#include <optional>
#include <string>
#include <vector>

class ChmFile {
  public:
    struct TocEntry {
        std::string name;
        std::string local;  // the page's path inside the file, "" for a heading
        std::vector<TocEntry> children;
    };

    // Null when the file is missing or is no compiled help file.
    static std::unique_ptr<ChmFile> Open(const std::string& path);
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    // The object at `path` ("/index.html"), or nothing.
    std::optional<std::string> Read(const std::string& path) const;
    // The table of contents; empty when the file has none.
    std::vector<TocEntry> Contents() const;
    // Parses the entries of a sitemap (the .hhc format: nested <UL> lists of
    // <OBJECT type="text/sitemap"> with "Name" and "Local" parameters).
    static std::vector<TocEntry> ParseSitemap(const std::string& html);

  private:
    explicit ChmFile(struct chmFile* handle) : m_handle(handle) {}
    struct chmFile* m_handle;
};
