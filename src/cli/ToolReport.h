#pragma once
// The tool's one writer of folder-wide reports: a line per file (its outcome,
// its name, what else there is to know), then the counts of the outcomes, for
// the folder-wide edit (apply, sheet import) and its undo alike.

#include <cstddef>

#include "document/FolderEdit.h"
#include "document/FolderUndo.h"

namespace Tool {

struct Context;

// The lines of a folder-wide rewrite: one per file, a line for each name left
// out, then the summary; returns the number of failures.
// `notTaken`: rows and cells of a sheet that made no change (sheet import
// --keep-going), named in the summary line after the files.
std::size_t WriteFolderReport(Context& cx, const FolderEdit::Report& report,
                              std::size_t notTaken = 0);
// The lines of an undo: what was undone, one line per file, then the summary.
void WriteUndoReport(Context& cx, const FolderUndo::Report& report);

}  // namespace Tool
