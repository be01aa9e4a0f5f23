// The verbs on every sample file of a folder: the folder-wide edit and its undo.

#include <limits>

#include "cli/Tool.h"
#include "cli/ToolReport.h"
#include "document/EntryArguments.h"
#include "document/FolderEdit.h"
#include "document/FolderUndo.h"
#include "document/TKVEditorDoc.h"
#include "platform/FileSystem.h"

namespace Tool {

int Apply(Context& cx) {
    if (cx.args.size() < 4 || (cx.args.size() - 1) % 3 != 0)
        throw EntryArguments::Failure{"tkvhdr apply: give PATH TYPE VALUES in threes", true};
    std::vector<std::pair<std::string, HeaderElement>> entries;
    for (std::size_t i = 1; i < cx.args.size(); i += 3) {
        EntryArguments::SplitPath(cx.args[i]);  // malformed paths are refused before anything else
        const std::uint32_t type = TypeArgument(cx.args[i + 1]);
        entries.emplace_back(cx.args[i], EntryArguments::ParseValues(cx.args[i + 2], type));
    }
    // The named file is opened as the editor opens it, and the entries are made
    // in folder-edit mode there, so each is pending exactly as the editor's
    // commands would leave it.
    auto doc = Open(cx, cx.args[0]);
    doc->SetFolderEditMode(true);
    for (auto& [path, value] : entries)
        EntryArguments::SetAtPath(*doc->m_pRoot, path, std::move(value), true);

    RewriteOptions options = WriteOptions(cx, "tkvhdr apply");
    for (const auto& entry : entries) options.undoWhat += " " + entry.first;
    const FolderEdit::Report report =
        FolderEdit::ApplyToFolder(*doc->m_pRoot, cx.args[0], cx.messages, cx.dryRun, {}, options);
    return WriteFolderReport(cx, report) == 0 ? 0 : 1;
}

int Undo(Context& cx) {
    std::string folder = cx.args[0];
    const auto attributes = FileSystem::GetAttributes(folder);
    if (!attributes) Refuse(cx, "tkvhdr undo: there is no folder '" + OneLine(folder) + "'");
    if (!attributes->directory) folder = FileSystem::FolderOf(folder);  // a file names its folder
    if (cx.list) {
        std::vector<std::string> notices;
        const auto records = FolderUndo::List(folder, &notices);
        for (const auto& notice : notices) cx.messages.Show(notice);
        for (std::size_t k = 0; k < records.size(); ++k)
            cx.out << k + 1 << '\t' << OneLine(FolderUndo::Describe(records[k])) << '\n';
        if (records.empty()) cx.out << "no folder save to undo in " << OneLine(folder) << '\n';
        return 0;
    }
    const FolderUndo::Report report =
        FolderUndo::UndoLast(folder, {}, [&](const FolderUndo::Record&) { return cx.partial; });
    for (const auto& notice : report.notices) cx.messages.Show(notice);
    if (!report.record)
        Refuse(cx, "tkvhdr undo: there is no folder save to undo in " + OneLine(folder));
    if (report.declined)
        Refuse(cx, "tkvhdr undo: " +
                       FolderUndo::DescribeLacking(*report.record,
                                                   std::numeric_limits<std::size_t>::max()) +
                       "\nNothing was undone. 'tkvhdr undo --partial " + OneLine(folder) +
                       "' puts back the other " + std::to_string(report.record->Kept()) +
                       " and names these.");
    WriteUndoReport(cx, report);
    return report.Complete() ? 0 : 1;
}

}  // namespace Tool
