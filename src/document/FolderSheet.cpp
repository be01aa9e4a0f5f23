#include "document/FolderSheet.h"

#include <algorithm>
#include <map>

#include "format/BlockPath.h"
#include "format/HeaderError.h"
#include "format/HeaderFile.h"
#include "model/HeaderNode.h"
#include "model/LabelCompare.h"
#include "platform/RandomAccessFile.h"
#include "platform/TextCodec.h"
#include "platform/UserMessages.h"

namespace {

// What a dotted path reaches in a tree (labels compared without regard to
// case): a leaf, or nothing; `blocked` when no leaf can be set there (a value on
// the way, or a list at its end), as the merge finds.
struct Place {
    const HeaderNode* leaf = nullptr;
    bool blocked = false;
};
Place PlaceAt(const HeaderNode& root, const std::string& path) {
    const HeaderNode* node = &root;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t dot = path.find('.', pos);
        const std::string label = path.substr(pos, dot == std::string::npos ? dot : dot - pos);
        if (!node->isList) return {nullptr, true};
        node = HeaderTree::Find(*node, label);
        if (!node) return {};
        if (dot == std::string::npos) break;
        pos = dot + 1;
    }
    return node->isList ? Place{nullptr, true} : Place{node, false};
}

}  // namespace

FolderSheet FolderSheet::Read(const std::string& fileInFolder, std::vector<std::string> columns) {
    FolderSheet sheet;
    sheet.m_strFolder = FileSystem::FolderOf(fileInFolder);
    sheet.m_columns = std::move(columns);
    // The same files as the folder-wide edit takes; reading them shows nothing:
    // a file that does not open gets its reason in its row instead.
    std::vector<std::vector<std::string>> aliases;
    const auto entries = FolderEdit::OneEntryPerFile(
        FolderEdit::FilesLike(fileInFolder, &sheet.m_leftOut), &aliases);
    SilentMessages quiet;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const auto& e = entries[k];
        Row row;
        row.path = e.path;
        row.name = e.name;
        row.entry = e;
        for (const std::string& alias : aliases[k])
            row.aliases.push_back(alias.substr(alias.find_last_of('/') + 1));
        row.readOnly = e.readOnly;
        row.cells.resize(sheet.m_columns.size());
        try {
            RandomAccessFile file(e.path, RandomAccessFile::Mode::Read);
            auto root = ExtendedHeader::MakeRoot();
            StandardHeader record;
            // As the rewrite reads it: a file it would write is a row like any other.
            ReadHeaders(file, *root, record, quiet, true);
            row.blocked.resize(sheet.m_columns.size());
            for (std::size_t c = 0; c < sheet.m_columns.size(); ++c) {
                const Place place = PlaceAt(*root, sheet.m_columns[c]);
                if (place.leaf) row.cells[c] = place.leaf->value;
                row.blocked[c] = place.blocked;
            }
        } catch (...) {
            row.error = FolderEdit::ReasonOf(std::current_exception());
        }
        sheet.m_rows.push_back(std::move(row));
    }
    return sheet;
}

std::optional<std::size_t> FolderSheet::FindRow(const std::string& name) const {
    // As output shows names first: that is what an exported sheet holds, and no
    // two names are shown alike.
    for (std::size_t r = 0; r < m_rows.size(); ++r)
        if (TextCodec::Escaped(m_rows[r].name) == name) return r;
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        const Row& row = m_rows[r];
        if (row.name == name ||
            std::find(row.aliases.begin(), row.aliases.end(), name) != row.aliases.end())
            return r;
    }
    return std::nullopt;
}

FolderSheet::Result FolderSheet::Apply(const std::vector<Change>& changes, UserMessages& messages,
                                       bool dryRun, const FolderEdit::Progress& progress,
                                       const RewriteOptions& options) const {
    Result result;
    result.cells.resize(changes.size());
    // The changes of each file, by its path; files in row (name) order.
    std::map<std::string, std::vector<std::size_t>> byPath;
    std::vector<FileSystem::FolderEntry> entries;
    for (std::size_t k = 0; k < changes.size(); ++k) {
        result.cells[k].change = k;
        const Row& row = m_rows.at(changes[k].row);
        auto [it, fresh] = byPath.try_emplace(row.path);
        if (fresh) entries.push_back(row.entry);
        it->second.push_back(k);
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& x, const auto& y) { return x.name < y.name; });
    auto makerFor = [&](const std::string& path) -> BlockMaker {
        const std::vector<std::size_t>* mine = &byPath.at(path);
        return [&, mine](std::span<const std::uint8_t> old, const StandardHeader&) {
            BlockPath::BlockBuffer buffer;
            if (!old.empty()) {
                auto stored = BlockPath::BlockBuffer::FromBlock(old);
                if (!stored) throw HeaderError("The stored Extended Header does not decode.");
                buffer = std::move(*stored);
            }
            for (std::size_t k : *mine) {
                const Change& change = changes[k];
                CellResult& cell = result.cells[k];
                // The file's own spelling of the entries it holds, new labels in
                // capitals, as the editor and `set` make them: a sheet's column
                // in other case renames nothing.
                const std::string path =
                    BlockPath::SpeltAsStored(buffer, UpperCaseLabel(m_columns.at(change.column)));
                switch (change.remove ? BlockPath::RemoveLeafAtPath(buffer, path)
                                      : BlockPath::SetValueAtPath(buffer, path, change.value)) {
                    case BlockPath::SetResult::Written:
                        cell.outcome = CellOutcome::Written;
                        break;
                    case BlockPath::SetResult::Unchanged:  // the merge keeps the stored entry
                    case BlockPath::SetResult::Failed:
                        cell.outcome = CellOutcome::Failed;
                        cell.reason = change.remove
                                          ? "the file stores no value there"
                                          : "the path runs through a value, or the file stores a "
                                            "list or an entry of another type there";
                        break;
                }
            }
            return EncodedBlock(buffer.ToBlock());
        };
    };
    result.report = FolderEdit::ApplyToFiles(makerFor, m_strFolder, entries, messages, dryRun,
                                             progress, options);
    // A file that failed or was skipped as a whole takes its cells with it.
    std::map<std::string, const FolderEdit::FileResult*> fileOf;
    for (const auto& f : result.report.files) fileOf[f.path] = &f;
    for (std::size_t k = 0; k < changes.size(); ++k) {
        const auto it = fileOf.find(m_rows.at(changes[k].row).path);
        if (it == fileOf.end()) continue;
        const FolderEdit::FileResult& f = *it->second;
        if (f.outcome == FolderEdit::Outcome::SkippedReadOnly) {
            result.cells[k] = {k, CellOutcome::Failed, "the file is read-only"};
        } else if (f.outcome == FolderEdit::Outcome::Failed &&
                   result.cells[k].outcome != CellOutcome::Failed) {
            result.cells[k] = {k, CellOutcome::Failed, f.reason};
        }
    }
    return result;
}

std::string FolderSheet::CellText(const std::optional<HeaderElement>& value) {
    return value ? TextCodec::ToUtf8(value->Format(10)) : std::string();
}

std::string FolderSheet::SheetText(const std::optional<HeaderElement>& value) {
    return value ? TextCodec::ToUtf8(value->Format(10, HeaderElement::Reals::Exact))
                 : std::string();
}

std::vector<FolderSheet::FieldChange> FolderSheet::Preview(
    const std::vector<Change>& changes) const {
    std::vector<FieldChange> fields;
    fields.reserve(changes.size());
    for (const Change& c : changes) {
        const Row& row = m_rows.at(c.row);
        fields.push_back({row.name, TextCodec::AnsiToUtf8(m_columns.at(c.column)),
                          CellText(row.cells.at(c.column)),
                          c.remove ? std::string("-") : CellText(c.value)});
    }
    return fields;
}

std::vector<FolderSheet::FieldChange> FolderSheet::PreviewPending(const HeaderNode& root,
                                                                  const std::string& path) {
    std::vector<std::string> paths;
    std::vector<const HeaderNode*> leaves;
    HeaderTree::Walk(root, [&](const HeaderNode& node, std::string_view at) {
        if (node.isList || !node.pending) return;
        paths.emplace_back(at);
        leaves.push_back(&node);
    });
    std::vector<FieldChange> fields;
    if (paths.empty()) return fields;
    const FolderSheet sheet = Read(path, paths);
    for (const Row& row : sheet.m_rows) {
        if (!row.error.empty() || row.readOnly) continue;  // the Save leaves these alone
        for (std::size_t c = 0; c < paths.size(); ++c) {
            const auto& old = row.cells[c];
            const HeaderElement& now = leaves[c]->value;
            if (row.blocked[c] || (old && (old->GetType() != now.GetType() || *old == now)))
                continue;
            fields.push_back(
                {row.name, TextCodec::AnsiToUtf8(paths[c]), CellText(old), CellText(now)});
        }
    }
    return fields;
}

MessageTable FolderSheet::PreviewTable(const std::vector<FieldChange>& fields) {
    MessageTable table{{"File", "Path", "Old value", "New value"}, {}};
    table.rows.reserve(fields.size());
    for (const auto& f : fields) table.rows.push_back({f.file, f.path, f.before, f.after});
    return table;
}
