#include "app/ChmFile.h"

#include <chm_lib.h>

#include <algorithm>
#include <cctype>

#include "model/LabelCompare.h"

std::unique_ptr<ChmFile> ChmFile::Open(const std::string& path) {
    chmFile* handle = chm_open(path.c_str());
    if (!handle) return nullptr;
    return std::unique_ptr<ChmFile>(new ChmFile(handle));
}

ChmFile::~ChmFile() {
    chm_close(m_handle);
}

std::optional<std::string> ChmFile::Read(const std::string& path) const {
    chmUnitInfo ui{};
    const std::string p = !path.empty() && path.front() == '/' ? path : "/" + path;
    if (chm_resolve_object(m_handle, p.c_str(), &ui) != CHM_RESOLVE_SUCCESS) return std::nullopt;
    // A help page is small; anything claiming more than 64 MiB is not trusted.
    if (ui.length > (64u << 20)) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(ui.length), '\0');
    const LONGINT64 got =
        chm_retrieve_object(m_handle, &ui, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                            static_cast<LONGINT64>(ui.length));
    if (got < 0) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(got));
    return bytes;
}

namespace {
int CollectHhc(chmFile*, chmUnitInfo* ui, void* context) {
    const std::string path = ui->path;
    if (path.size() > 4 && LabelsEqual(std::string_view(path).substr(path.size() - 4), ".hhc"))
        static_cast<std::vector<std::string>*>(context)->push_back(path);
    return CHM_ENUMERATOR_CONTINUE;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The value of attribute `name` in the tag text `tag` (already lower-cased copy
// in `lower`), or "".
std::string Attribute(const std::string& tag, const std::string& lower, const std::string& name) {
    std::size_t at = lower.find(name + "=");
    if (at == std::string::npos) return {};
    at += name.size() + 1;
    if (at >= tag.size()) return {};
    const char quote = tag[at];
    if (quote == '"' || quote == '\'') {
        const std::size_t end = tag.find(quote, at + 1);
        return tag.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    }
    const std::size_t end = tag.find_first_of(" \t\r\n>", at);
    return tag.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string DecodeEntities(std::string s) {
    const std::pair<const char*, const char*> table[] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}};
    for (const auto& [from, to] : table)
        for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1))
            s.replace(at, std::char_traits<char>::length(from), to);
    return s;
}
}  // namespace

std::vector<ChmFile::TocEntry> ChmFile::ParseSitemap(const std::string& html) {
    std::vector<TocEntry> top;
    // The list being filled at each <UL> depth; an object adds to the current
    // one, a <UL> opens the children of the entry added last.
    std::vector<std::vector<TocEntry>*> lists{&top};
    int ulDepth = 0;
    TocEntry* open = nullptr;  // the <OBJECT> being read
    TocEntry pending;
    std::size_t pos = 0;
    while ((pos = html.find('<', pos)) != std::string::npos) {
        const std::size_t end = html.find('>', pos);
        if (end == std::string::npos) break;
        const std::string tag = html.substr(pos + 1, end - pos - 1);
        const std::string lower = Lower(tag);
        pos = end + 1;
        if (lower.rfind("ul", 0) == 0) {
            if (++ulDepth > 1) {
                std::vector<TocEntry>* current = lists.back();
                if (!current->empty())
                    lists.push_back(&current->back().children);
                else
                    lists.push_back(current);  // a list without its heading
            }
        } else if (lower.rfind("/ul", 0) == 0) {
            if (ulDepth > 1 && lists.size() > 1) lists.pop_back();
            if (ulDepth > 0) --ulDepth;
        } else if (lower.rfind("object", 0) == 0 &&
                   lower.find("text/sitemap") != std::string::npos) {
            pending = TocEntry();
            open = &pending;
        } else if (lower.rfind("param", 0) == 0 && open) {
            const std::string name = Lower(Attribute(tag, lower, "name"));
            const std::string value = DecodeEntities(Attribute(tag, lower, "value"));
            if (name == "name") open->name = value;
            if (name == "local") open->local = value;
        } else if (lower.rfind("/object", 0) == 0 && open) {
            if (!open->name.empty() || !open->local.empty()) lists.back()->push_back(*open);
            open = nullptr;
        }
    }
    return top;
}

std::vector<ChmFile::TocEntry> ChmFile::Contents() const {
    std::vector<std::string> hhc;
    chm_enumerate(m_handle, CHM_ENUMERATE_ALL, CollectHhc, &hhc);
    for (const std::string& path : hhc)
        if (auto text = Read(path)) return ParseSitemap(*text);
    return {};
}
