#include "cli/ToolReport.h"

#include <string>
#include <utility>
#include <vector>

#include "cli/Tool.h"

namespace Tool {

namespace {

// A file's line: "OUTCOME: NAME" and what follows it.
void FileLine(Context& cx, const char* outcome, const std::string& name,
              const std::string& after = std::string()) {
    cx.out << outcome << ": " << name << after << '\n';
}

// The summary: "N word, N word, ...", in the order given.
void Summary(Context& cx, const std::vector<std::pair<std::size_t, const char*>>& counts,
             const std::string& after) {
    for (std::size_t k = 0; k < counts.size(); ++k)
        cx.out << (k ? ", " : "") << counts[k].first << ' ' << counts[k].second;
    cx.out << after << '\n';
}

// A file's other names and what else there is to know of it, after its path.
std::string Extra(const FolderEdit::FileResult& f) {
    std::string text;
    if (!f.aliases.empty()) {
        text += " (also ";
        for (std::size_t k = 0; k < f.aliases.size(); ++k) text += (k ? ", " : "") + f.aliases[k];
        text += ")";
    }
    if (!f.note.empty()) text += " (" + f.note + ")";
    return text;
}

}  // namespace

std::size_t WriteFolderReport(Context& cx, const FolderEdit::Report& report, std::size_t notTaken) {
    for (const auto& notice : report.notices) cx.messages.Show(notice);
    using O = FolderEdit::Outcome;
    for (const auto& f : report.files) {
        const std::string name = OneLine(f.path + Extra(f));
        switch (f.outcome) {
            case O::Updated:
                FileLine(cx, cx.dryRun ? "would update" : "updated", name);
                break;
            case O::Unchanged:
                FileLine(cx, "unchanged", name);
                break;
            case O::SkippedReadOnly:
                FileLine(cx, "skipped (read-only)", name);
                break;
            case O::Failed:
                FileLine(cx, "failed", name, ": " + OneLine(f.reason));
                break;
        }
    }
    for (const auto& l : report.leftOut)
        FileLine(cx, "left out", OneLine(l.name), " (" + l.reason + ")");
    if (!report.listingError.empty()) FileLine(cx, "failed", OneLine(report.listingError));
    const std::size_t failed = report.Count(O::Failed) + (report.listingError.empty() ? 0 : 1);
    Summary(cx,
            {{report.Count(O::Updated), "updated"},
             {report.Count(O::Unchanged), "unchanged"},
             {report.Count(O::SkippedReadOnly), "skipped"},
             {failed, "failed"}},
            (notTaken ? "; " + std::to_string(notTaken) + " rows or cells of the sheet not taken"
                      : std::string()) +
                (cx.dryRun ? " (dry run: nothing was written)" : ""));
    return failed;
}

void WriteUndoReport(Context& cx, const FolderUndo::Report& report) {
    cx.out << "undoing the save of " << OneLine(FolderUndo::Describe(*report.record)) << '\n';
    using O = FolderUndo::Outcome;
    for (const auto& f : report.files) {
        const std::string name = OneLine(f.name);
        switch (f.outcome) {
            case O::Restored:
                FileLine(cx, "restored", name);
                break;
            case O::AsBefore:
                FileLine(cx, "unchanged", name, " (it held what it had before the save)");
                break;
            case O::ChangedSince:
                FileLine(cx, "left alone", name, " (" + f.reason + ")");
                break;
            case O::Missing:
                FileLine(cx, "missing", name);
                break;
            case O::NotRecorded:
                FileLine(cx, "not recorded", name, " (" + f.reason + ")");
                break;
            case O::Failed:
                FileLine(cx, "failed", name, ": " + OneLine(f.reason));
                break;
        }
    }
    std::vector<std::pair<std::size_t, const char*>> counts = {
        {report.Count(O::Restored), "restored"},
        {report.Count(O::AsBefore), "unchanged"},
        {report.Count(O::ChangedSince), "left alone"},
        {report.Count(O::Missing), "missing"},
        {report.Count(O::Failed), "failed"}};
    if (const std::size_t lacked = report.Count(O::NotRecorded))
        counts.emplace_back(lacked, "not recorded");
    Summary(cx, counts,
            report.recordKept ? " (the record stays: run undo again for the failed files)" : "");
}

}  // namespace Tool
