#include "cli/TkvHdr.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "cli/HeaderJson.h"
#include "document/EntryArguments.h"
#include "document/FolderEdit.h"
#include "document/FolderSheet.h"
#include "document/FolderUndo.h"
#include "document/InstrumentEditPermission.h"
#include "document/SheetImport.h"
#include "document/TKVEditorDoc.h"
#include "format/ExampleFile.h"
#include "format/HeaderError.h"
#include "format/HeaderFile.h"
#include "format/SheetTable.h"
#include "format/StandardHeaderRows.h"
#include "model/HeaderNode.h"
#include "platform/AlreadyReported.h"
#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournal.h"
#include "platform/TextCodec.h"
#include "platform/UserMessages.h"

namespace {

constexpr const char* kVersion = "3.1";

// One line of output: control characters and bytes that are not UTF-8 escaped,
// alike in every format (TextCodec::Escaped).
std::string OneLine(std::string_view text) {
    return TextCodec::Escaped(text);
}

// Messages to standard error, each line once: two steps of one verb (the open
// and the rewrite) may find the same planted file and say so.
class OnceStreamMessages : public StreamMessages {
  public:
    using StreamMessages::StreamMessages;
    void Show(const std::string& text) override {
        std::string fresh;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            if (m_shown.insert(line).second) fresh += (fresh.empty() ? "" : "\n") + line;
        // File names and values in messages reach a terminal without its controls.
        if (!fresh.empty()) StreamMessages::Show(TextCodec::Printable(fresh));
    }

  private:
    std::set<std::string> m_shown;
};

struct Context {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    OnceStreamMessages messages;  // to standard error: the tool asks nothing
    InstrumentEditPermission permission;
    std::vector<std::string> args;  // the verb's arguments, options removed
    bool hex = false;
    bool dryRun = false;
    bool noJournal = false;              // write without a rewrite journal where none can be kept
    bool keepGoing = false;              // sheet import: write the good rows of a sheet with errors
    std::string format = std::string();  // sheet export: csv, tsv or json
    bool list = false;                   // undo: list the saves instead
    bool partial = false;                // undo: put back what a record lacking files can
};

// A failure whose message has been written; the verb returns 1.
struct Failed {};

void Refuse(Context& cx, const std::string& message) {
    cx.err << message << '\n';
    throw Failed{};
}

// Where no rewrite journal can be kept: --no-journal writes without one.
bool WithoutJournal(Context& cx, const NoJournalPlace& e) {
    if (cx.noJournal)
        cx.err << e.Cause() << " Writing without one, as --no-journal asks.\n";
    else
        cx.err << e.Cause() << " Nothing was written; give --no-journal to write without one.\n";
    return cx.noJournal;
}

// The most a sheet or a JSON document given to import may hold.
constexpr std::uint64_t kMaxInputBytes = SheetImport::kMaxTextBytes;

// The name of an input for messages: "-" is standard input.
std::string InputName(const std::string& name) {
    return name == "-" ? std::string("standard input") : OneLine(name);
}

// The whole text of an input named on the command line (- for standard input),
// refused beyond kMaxInputBytes with a message naming it.
std::string ReadInput(Context& cx, const std::string& name) {
    const std::string tooLarge = InputName(name) + ": larger than " +
                                 std::to_string(kMaxInputBytes >> 20) +
                                 " MB, more than tkvhdr reads; nothing was written";
    std::string text;
    if (name == "-") {
        std::vector<char> buffer(1u << 16);
        while (cx.in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
               cx.in.gcount() > 0) {
            text.append(buffer.data(), static_cast<std::size_t>(cx.in.gcount()));
            if (text.size() > kMaxInputBytes) Refuse(cx, tooLarge);
        }
        if (cx.in.bad()) Refuse(cx, "standard input: it could not be read; nothing was written");
        return text;
    }
    RandomAccessFile file(name, RandomAccessFile::Mode::Read);
    if (file.Length() > kMaxInputBytes) Refuse(cx, tooLarge);
    text.resize(static_cast<std::size_t>(file.Length()));
    if (file.Read(text.data(), text.size()) != text.size())
        Refuse(cx, InputName(name) + ": it changed while read; nothing was written");
    return text;
}

// Opens the file through the document, as the editor's Open does.
std::unique_ptr<CTKVEditorDoc> Open(Context& cx, const std::string& path) {
    auto doc = std::make_unique<CTKVEditorDoc>(cx.messages, cx.permission);
    doc->m_writeWithoutJournal = [&cx](const NoJournalPlace& e) { return WithoutJournal(cx, e); };
    if (!doc->OpenDocumentFile(path)) throw Failed{};
    return doc;
}

// Saves through the document, as the editor's Save does.
void Save(CTKVEditorDoc& doc) {
    if (!doc.DoSave(doc.GetPathName())) throw Failed{};
}

HeaderNode& EntryAt(Context& cx, CTKVEditorDoc& doc, const std::string& path) {
    HeaderNode* node = EntryArguments::Find(*doc.m_pRoot, EntryArguments::SplitPath(path));
    if (!node) Refuse(cx, "No entry '" + path + "' in the Extended Header of " + doc.GetPathName());
    return *node;
}

std::uint32_t TypeArgument(const std::string& name) {
    auto type = EntryArguments::TypeFromName(name);
    if (!type)
        throw EntryArguments::Failure{
            "tkvhdr: unknown type '" + name + "' (" + EntryArguments::TypeNames() + ")", true};
    return *type;
}

int Dump(Context& cx) {
    auto doc = Open(cx, cx.args[0]);
    std::string line;
    std::u16string text;
    HeaderTree::Walk(*doc->m_pRoot, [&](const HeaderNode& node, std::string_view nodePath) {
        line = OneLine(TextCodec::AnsiToUtf8(nodePath));
        line += '\t';
        if (node.isList) {
            line += "List\t";
        } else {
            line += ElementTypeNameAscii(node.value.GetType());
            line += '\t';
            node.value.Format(text, 10);
            line += OneLine(TextCodec::ToUtf8(text));
        }
        line += '\n';
        cx.out << line;
    });
    return 0;
}

int Header(Context& cx) {
    for (const auto& notice :
         RewriteJournal::Recover(FileSystem::FolderOf(FileSystem::RealPath(cx.args[0]))))
        cx.messages.Show(notice);
    RandomAccessFile file(cx.args[0], RandomAccessFile::Mode::Read);
    StandardHeader record;
    if (!ReadStandardHeader(file, record, false, false, cx.messages)) return 1;
    for (const auto& row : BuildStandardHeaderRows(record))
        cx.out << TextCodec::ToUtf8(row.label) << '\t' << OneLine(TextCodec::ToUtf8(row.value))
               << '\n';
    return 0;
}

int Resave(Context& cx) {
    auto doc = Open(cx, cx.args[0]);
    Save(*doc);
    return 0;
}

int Example(Context& cx) {
    ExampleFile::Write(cx.args[0]);
    return 0;
}

int Get(Context& cx) {
    auto doc = Open(cx, cx.args[0]);
    const HeaderNode& node = EntryAt(cx, *doc, cx.args[1]);
    if (!node.isList) cx.out << TextCodec::ToUtf8(node.value.Format(cx.hex ? 16 : 10));
    cx.out << '\n';
    return 0;
}

int Set(Context& cx) {
    const std::uint32_t type = TypeArgument(cx.args[2]);
    HeaderElement value = EntryArguments::ParseValues(cx.args[3], type);
    auto doc = Open(cx, cx.args[0]);
    // Tried on the tree as read (a path through a value is refused before anything
    // is written), then made again under the lock to what the file holds then, so
    // another writer's entries written meanwhile stay.
    EntryArguments::SetAtPath(*doc->m_pRoot, cx.args[1], value, false);
    if (!doc->SaveEdit(
            [&](HeaderNode& root) { EntryArguments::SetAtPath(root, cx.args[1], value, false); }))
        throw Failed{};
    return 0;
}

int Delete(Context& cx) {
    auto doc = Open(cx, cx.args[0]);
    doc->DeleteEntry(&EntryAt(cx, *doc, cx.args[1]));  // a missing entry is refused
    // Removed again under the lock from what the file holds then (see Set).
    const auto labels = EntryArguments::SplitPath(cx.args[1]);
    if (!doc->SaveEdit([&](HeaderNode& root) {
            if (HeaderNode* entry = EntryArguments::Find(root, labels))
                HeaderTree::Remove(root, entry);
        }))
        throw Failed{};
    return 0;
}

int Export(Context& cx) {
    auto doc = Open(cx, cx.args[0]);
    cx.out << HeaderJson::Export(*doc->m_pRoot).dump(2) << '\n';
    return 0;
}

int Import(Context& cx) {
    std::unique_ptr<HeaderNode> root;
    try {
        root = HeaderJson::Import(ReadInput(cx, cx.args[1]));
    } catch (const nlohmann::json::exception& e) {
        Refuse(cx, InputName(cx.args[1]) + ": JSON: " + std::string(e.what()));
    } catch (const HeaderJson::Error& e) {
        Refuse(cx, InputName(cx.args[1]) + ": " + e.what());
    }
    auto doc = Open(cx, cx.args[0]);
    doc->m_pRoot = std::move(root);
    doc->SetModified(true);
    Save(*doc);
    return 0;
}

// The lines of a folder-wide rewrite: one per file, a line for each name left
// out, then the summary; the number of failures.
// `notTaken`: rows and cells of a sheet that made no change (sheet import
// --keep-going), named in the summary line after the files.
std::size_t PrintFolderReport(Context& cx, const FolderEdit::Report& report,
                              std::size_t notTaken = 0) {
    for (const auto& notice : report.notices) cx.messages.Show(notice);
    // A file's other names and what else there is to know of it, after its path.
    auto extra = [](const FolderEdit::FileResult& f) {
        std::string text;
        if (!f.aliases.empty()) {
            text += " (also ";
            for (std::size_t k = 0; k < f.aliases.size(); ++k)
                text += (k ? ", " : "") + f.aliases[k];
            text += ")";
        }
        if (!f.note.empty()) text += " (" + f.note + ")";
        return text;
    };
    std::size_t updated = 0, unchanged = 0, skipped = 0, failed = 0;
    const char* would = cx.dryRun ? "would update" : "updated";
    for (const auto& f : report.files) {
        switch (f.outcome) {
            case FolderEdit::Outcome::Updated:
                ++updated;
                cx.out << would << ": " << OneLine(f.path + extra(f)) << '\n';
                break;
            case FolderEdit::Outcome::Unchanged:
                ++unchanged;
                cx.out << "unchanged: " << OneLine(f.path + extra(f)) << '\n';
                break;
            case FolderEdit::Outcome::SkippedReadOnly:
                ++skipped;
                cx.out << "skipped (read-only): " << OneLine(f.path + extra(f)) << '\n';
                break;
            case FolderEdit::Outcome::Failed:
                ++failed;
                cx.out << "failed: " << OneLine(f.path + extra(f)) << ": " << OneLine(f.reason)
                       << '\n';
                break;
        }
    }
    for (const auto& l : report.leftOut)
        cx.out << "left out: " << OneLine(l.name) << " (" << l.reason << ")\n";
    if (!report.listingError.empty()) {
        ++failed;
        cx.out << "failed: " << OneLine(report.listingError) << '\n';
    }
    cx.out << updated << " updated, " << unchanged << " unchanged, " << skipped << " skipped, "
           << failed << " failed"
           << (notTaken ? "; " + std::to_string(notTaken) + " rows or cells of the sheet not taken"
                        : std::string())
           << (cx.dryRun ? " (dry run: nothing was written)" : "") << '\n';
    return failed;
}

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

    RewriteOptions options;
    options.writeWithoutJournal = [&cx](const NoJournalPlace& e) { return WithoutJournal(cx, e); };
    options.undoWhat = "tkvhdr apply";
    for (const auto& entry : entries) options.undoWhat += " " + entry.first;
    const FolderEdit::Report report =
        FolderEdit::ApplyToFolder(*doc->m_pRoot, cx.args[0], cx.messages, cx.dryRun, {}, options);
    return PrintFolderReport(cx, report) == 0 ? 0 : 1;
}

int SheetExport(Context& cx) {
    if (cx.args.size() < 3)
        throw EntryArguments::Failure{"tkvhdr sheet export: name a file and at least one PATH",
                                      true};
    const std::string format = cx.format.empty() ? "csv" : cx.format;
    if (format != "csv" && format != "tsv" && format != "json")
        throw EntryArguments::Failure{"tkvhdr sheet export: --format is csv, tsv or json", true};
    // Each PATH as a header cell names it: PATH:TYPE asks for that type.
    std::vector<SheetImport::Column> columns;
    for (auto it = cx.args.begin() + 2; it != cx.args.end(); ++it) {
        try {
            columns.push_back(SheetImport::ParseColumn(*it));
        } catch (const EntryArguments::Failure& f) {
            throw EntryArguments::Failure{"tkvhdr sheet export: " + f.message, true};
        }
    }
    // Columns the sheet's import would refuse are refused here.
    if (const auto clash = SheetImport::PathClash(columns))
        throw EntryArguments::Failure{"tkvhdr sheet export: " + clash->what, true};
    const FolderSheet sheet = FolderSheet::Read(cx.args[1], SheetImport::NarrowPaths(columns));
    bool incomplete = false;
    for (const auto& row : sheet.Rows())
        if (!row.error.empty()) {
            incomplete = true;
            cx.err << OneLine(row.path) << ": " << OneLine(row.error) << " (left out)\n";
        }
    // A column without a type gets the one its files store; where they disagree
    // it stays untyped (import then takes each file's own) and the user hears why.
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (columns[c].typed) continue;
        std::map<std::uint32_t, std::vector<std::string>> filesOfType;
        for (const auto& row : sheet.Rows())
            if (row.error.empty() && row.cells[c])
                filesOfType[row.cells[c]->GetType()].push_back(OneLine(row.name));
        if (filesOfType.size() == 1) {
            columns[c].type = filesOfType.begin()->first;
            columns[c].typed = true;
        } else if (filesOfType.size() > 1) {
            cx.err << "tkvhdr sheet export: the files store " << OneLine(columns[c].path) << " as ";
            std::size_t k = 0;
            for (const auto& [type, files] : filesOfType)
                cx.err << (k++ ? " and " : "") << ElementTypeNameAscii(type) << " (" << files[0]
                       << (files.size() > 1 ? " and " + std::to_string(files.size() - 1) + " more"
                                            : std::string())
                       << ")";
            cx.err << "; its column has no type, so that each file keeps its own\n";
        }
    }
    SheetTable::Records records{{"file"}};
    HeaderJson::Json json = HeaderJson::Json::array();
    std::vector<std::string> headers;
    for (const auto& column : columns) headers.push_back(SheetImport::HeaderCell(column));
    records.front().insert(records.front().end(), headers.begin(), headers.end());
    for (const auto& row : sheet.Rows()) {
        if (!row.error.empty()) continue;
        const std::string name = OneLine(row.name);
        SheetTable::Record record{name};
        HeaderJson::Json object = {{"file", name}};
        for (std::size_t c = 0; c < columns.size(); ++c) {
            std::optional<HeaderElement> cell = row.cells[c];
            if (cell && columns[c].typed && cell->GetType() != columns[c].type) {
                incomplete = true;
                cx.err << name << ": " << OneLine(columns[c].path) << " is stored as "
                       << ElementTypeNameAscii(cell->GetType()) << ", not "
                       << ElementTypeNameAscii(columns[c].type) << " (left empty)\n";
                cell.reset();
            }
            record.push_back(FolderSheet::SheetText(cell));
            object[headers[c]] = cell ? HeaderJson::Json(record.back()) : HeaderJson::Json(nullptr);
        }
        records.push_back(std::move(record));
        json.push_back(std::move(object));
    }
    if (format == "json")
        cx.out << json.dump(2) << '\n';
    else
        cx.out << SheetTable::Write(records, format == "tsv" ? '\t' : ',');
    return incomplete ? 1 : 0;
}

int SheetImport(Context& cx) {
    if (cx.args.size() != 3)
        throw EntryArguments::Failure{"tkvhdr sheet import: name a file and a SHEET", true};
    const std::string& sheetName = cx.args[2];
    const std::string text = ReadInput(cx, sheetName);
    // From standard input a tab in the first line tells a tab-separated sheet.
    const char separator =
        sheetName == "-"
            ? (text.substr(0, text.find('\n')).find('\t') != std::string::npos ? '\t' : ',')
            : SheetTable::SeparatorFor(sheetName);
    SheetTable::Table table;
    try {
        table = SheetTable::Read(text, separator);
    } catch (const SheetTable::ParseError& e) {
        Refuse(cx, InputName(sheetName) + ": row " + std::to_string(e.Row()) + ", column " +
                       std::to_string(e.Column()) + ": " + e.what() + "; nothing was written");
    }
    std::vector<SheetImport::Column> columns;
    try {
        columns = SheetImport::ReadHeader(table, true);
    } catch (const SheetImport::BadHeader& bad) {
        Refuse(cx, OneLine(bad.fault.Text(InputName(sheetName))) + "; nothing was written");
    }
    const FolderSheet sheet = FolderSheet::Read(cx.args[1], SheetImport::NarrowPaths(columns));
    std::vector<SheetImport::Fault> faults;
    const std::vector<FolderSheet::Change> changes =
        SheetImport::Changes(table, columns, sheet, faults);
    // The fault texts quote names and cells escaped already.
    for (const auto& f : faults)
        cx.err << TextCodec::Printable(f.Text(InputName(sheetName))) << '\n';
    if (!faults.empty() && !cx.keepGoing) {
        cx.err << "tkvhdr sheet import: the sheet has "
               << (faults.size() == 1 ? "an error" : "errors")
               << "; nothing was written (--keep-going writes the rest)\n";
        return 1;
    }
    if (!cx.dryRun && !cx.permission.IsEditAllowed()) {
        cx.err << "tkvhdr sheet: editing is not allowed on this instrument ("
               << InstrumentEditPermission::kAllowEdit << " in the instrument's "
               << InstrumentEditPermission::kConfigFile << "); nothing was written\n";
        return 1;
    }
    RewriteOptions options;
    options.writeWithoutJournal = [&cx](const NoJournalPlace& e) { return WithoutJournal(cx, e); };
    options.undoWhat = "tkvhdr sheet import " + FileSystem::DisplayName(sheetName);
    FolderSheet::Result result = sheet.Apply(changes, cx.messages, cx.dryRun, {}, options);
    std::size_t failedCells = 0;
    for (const auto& cell : result.cells) {
        const FolderSheet::Change& change = changes[cell.change];
        const auto& row = sheet.Rows()[change.row];
        const std::string& path = columns[change.column].path;
        if (cell.outcome == FolderSheet::CellOutcome::Written) {
            cx.out << OneLine(row.name) << '\t' << OneLine(path) << '\t'
                   << OneLine(FolderSheet::SheetText(row.cells[change.column])) << '\t'
                   << (change.remove ? std::string("-")
                                     : OneLine(FolderSheet::SheetText(change.value)))
                   << '\n';
        } else if (cell.outcome == FolderSheet::CellOutcome::Failed) {
            ++failedCells;
            cx.out << "failed: " << OneLine(row.name) << '\t' << OneLine(path) << ": "
                   << OneLine(cell.reason) << '\n';
        }
    }
    result.report.leftOut.insert(result.report.leftOut.begin(), sheet.LeftOut().begin(),
                                 sheet.LeftOut().end());
    for (const auto& row : sheet.Rows())  // never written, with a row or without
        if (!row.error.empty())
            result.report.leftOut.push_back({row.name, "it cannot be read: " + row.error});
    std::size_t notTaken = failedCells;
    for (const auto& f : faults) notTaken += 1 + f.unlisted;
    const std::size_t failedFiles = PrintFolderReport(cx, result.report, notTaken);
    return failedFiles == 0 && notTaken == 0 ? 0 : 1;
}

int Sheet(Context& cx) {
    const std::string sub = cx.args[0];
    if (sub == "export") return SheetExport(cx);
    if (sub == "import") return SheetImport(cx);
    throw EntryArguments::Failure{"tkvhdr sheet: 'export' or 'import', not '" + sub + "'", true};
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
    cx.out << "undoing the save of " << OneLine(FolderUndo::Describe(*report.record)) << '\n';
    using O = FolderUndo::Outcome;
    for (const auto& f : report.files) {
        const std::string name = OneLine(f.name);
        switch (f.outcome) {
            case O::Restored:
                cx.out << "restored: " << name << '\n';
                break;
            case O::AsBefore:
                cx.out << "unchanged: " << name << " (it held what it had before the save)\n";
                break;
            case O::ChangedSince:
                cx.out << "left alone: " << name << " (" << f.reason << ")\n";
                break;
            case O::Missing:
                cx.out << "missing: " << name << '\n';
                break;
            case O::NotRecorded:
                cx.out << "not recorded: " << name << " (" << f.reason << ")\n";
                break;
            case O::Failed:
                cx.out << "failed: " << name << ": " << OneLine(f.reason) << '\n';
                break;
        }
    }
    cx.out << report.Count(O::Restored) << " restored, " << report.Count(O::AsBefore)
           << " unchanged, " << report.Count(O::ChangedSince) << " left alone, "
           << report.Count(O::Missing) << " missing, " << report.Count(O::Failed) << " failed";
    if (const std::size_t lacked = report.Count(O::NotRecorded))
        cx.out << ", " << lacked << " not recorded";
    cx.out << (report.recordKept ? " (the record stays: run undo again for the failed files)" : "")
           << '\n';
    return report.Complete() ? 0 : 1;
}

struct Verb {
    const char* name;
    std::size_t minArgs;
    std::size_t maxArgs;  // 0: no limit
    const char* summary;
    const char* help;
    std::function<int(Context&)> run;
};

const std::vector<Verb>& Verbs() {
    static const std::vector<Verb> verbs = {
        {"dump", 1, 1, "print every Extended Header entry",
         "Usage: tkvhdr dump FILE\n"
         "Prints one line per Extended Header entry in walk order (a list before its\n"
         "entries, siblings in label order): PATH<TAB>TYPE<TAB>VALUE, where PATH is the\n"
         "dotted label path, TYPE the type name (List for a list) and VALUE the value in\n"
         "base 10 (empty for a list). Tab, line feed and carriage return in values are\n"
         "written as \\t, \\n and \\r, other control characters as \\xHH, a backslash\n"
         "as \\\\.\n"
         "Example: tkvhdr dump A01.tkv\n",
         Dump},
        {"header", 1, 1, "print the Standard Header",
         "Usage: tkvhdr header FILE\n"
         "Prints the Standard Header as the editor's viewer shows it, one row a line:\n"
         "LABEL<TAB>VALUE. Times are in UTC.\n"
         "Example: tkvhdr header A01.tkv\n",
         Header},
        {"get", 2, 2, "print one entry's value",
         "Usage: tkvhdr get [--hex] FILE PATH\n"
         "Prints the value of the entry at PATH as the editor's list shows it (base 10),\n"
         "or with --hex integers in hexadecimal (0x...). A list prints an empty line.\n"
         "Example: tkvhdr get A01.tkv RUN.GAIN\n",
         Get},
        {"set", 4, 4, "insert or replace one value",
         "Usage: tkvhdr set FILE PATH TYPE VALUES\n"
         "Sets the value at PATH, inserting it (and the lists on its way) when missing;\n"
         "new labels are stored in upper case. TYPE is one of ascii, unicode, boolean,\n"
         "byte, short, long, float, double. VALUES are comma-separated for the number\n"
         "types and booleans (True/False), and the text itself for ascii and unicode.\n"
         "Example: tkvhdr set A01.tkv RUN.VOLTAGES float 1.5,2.5,3\n",
         Set},
        {"delete", 2, 2, "remove one entry with everything below it",
         "Usage: tkvhdr delete FILE PATH\n"
         "Removes the entry at PATH; a list goes with every entry in it.\n"
         "Example: tkvhdr delete A01.tkv ANALYSIS.PEAKS\n",
         Delete},
        {"export", 1, 1, "write the Extended Header as JSON",
         "Usage: tkvhdr export FILE\n"
         "Writes the whole Extended Header as JSON to standard output: each entry is an\n"
         "object with its \"type\" and its \"entries\" (a list), \"value\" (text) or\n"
         "\"values\" (numbers, booleans). Import gives the same file back.\n"
         "Example: tkvhdr export A01.tkv > A01.json\n",
         Export},
        {"import", 2, 2, "replace the Extended Header from JSON",
         "Usage: tkvhdr import FILE JSON_FILE\n"
         "Replaces the Extended Header of FILE with the tree in JSON_FILE (- for\n"
         "standard input), in the form export writes. Nothing is written unless the\n"
         "whole JSON is valid.\n"
         "Example: tkvhdr import A01.tkv A01.json\n",
         Import},
        {"apply", 4, 0, "set entries in every sample file of a folder",
         "Usage: tkvhdr apply [--dry-run] FILE PATH TYPE VALUES [PATH TYPE VALUES ...]\n"
         "The editor's \"Edit All Samples in Folder\": the entries are set in every file\n"
         "of FILE's folder with FILE's extension, as the editor's folder-wide Save sets\n"
         "them. A file that stores an entry with another type, or has a value where the\n"
         "path needs a list, keeps its entry. Read-only files are skipped. One line per\n"
         "file, a \"left out:\" line for each name with the extension that is no file to\n"
         "rewrite (a folder, a FIFO, a link out of the folder, a name that became a\n"
         "link or another file after the folder was read), then N updated,\n"
         "N unchanged, N skipped, N failed. A FILE without an extension is rewritten\n"
         "alone. --dry-run writes nothing and says what would change. Exit status 1\n"
         "when any file failed.\n"
         "Example: tkvhdr apply plate7/A01.tkv RUN.GAIN long 5 SAMPLE.BATCH ascii B-17\n",
         Apply},
        {"sheet", 2, 0, "one value per file across a folder, from or to a table",
         "Usage: tkvhdr sheet export FILE PATH... [--format csv|tsv|json]\n"
         "       tkvhdr sheet import [--dry-run] [--keep-going] FILE SHEET\n"
         "export: one row per sample file of FILE's folder with FILE's extension (a file\n"
         "of several names, by links, is one row), the column 'file' (its name) and each\n"
         "PATH's value as the editor's list shows it (empty where the file has none),\n"
         "but Float and Double values with every digit that reads back the same bits.\n"
         "The header gives each column as PATH:TYPE with the stored type (a column whose\n"
         "files disagree stays PATH, and a line says so); a PATH:TYPE argument asks for\n"
         "that type and names each file that stores another. A PATH given twice (in any\n"
         "case), or one inside another, is refused as import refuses it. CSV and TSV as RFC 4180\n"
         "writes them, UTF-8; file names that are not UTF-8, and control characters in\n"
         "them, are written as \\xHH (\\t, \\n, \\r; a backslash as \\\\) in every format.\n"
         "import: SHEET (a .csv, a .tsv, or - for standard input; at most 64 MB) has the\n"
         "header row 'file', then PATH:TYPE columns (TYPE as for set) or PATH columns,\n"
         "which take each file's stored type; so an exported sheet imports as it stands.\n"
         "Each row's non-empty cells are set in that file alone, through the same\n"
         "journalled rewrite as apply; a cell - removes the file's value there (where\n"
         "the file stores the text - itself, the cell is that value).\n"
         "Unknown files, files of the folder without a row, duplicate rows or columns,\n"
         "cells that do not parse (text with a NUL or not UTF-8 included), cells the\n"
         "file would refuse (another type stored there, a path through a value or to a\n"
         "list, a read-only file) and rows of the wrong length are each reported with\n"
         "their row (the line the record begins on) and column, and nothing is written\n"
         "unless --keep-going. Output: a line FILE<TAB>PATH<TAB>OLD<TAB>NEW for each\n"
         "field changed (with --dry-run: that would change), then the file lines and\n"
         "summary of apply.\n"
         "Examples:\n"
         "  tkvhdr sheet export plate7/A01.tkv SAMPLE.WELL SAMPLE.OWNER > s.csv\n"
         "  tkvhdr sheet import --dry-run plate7/A01.tkv s.csv\n",
         Sheet},
        {"undo", 1, 1, "take back the last folder-wide save of a folder",
         "Usage: tkvhdr undo [--list] [--partial] FOLDER\n"
         "Puts the files of FOLDER (or of the folder of a file named instead) back as\n"
         "they were before the newest folder-wide save there: the editor's folder-wide\n"
         "Save, apply or sheet import. The last 10 saves are kept, of all folders; each\n"
         "undo takes back one, newest first. Only a file that still holds exactly what\n"
         "that save wrote is put back; a file changed since, replaced or gone is left\n"
         "alone and named. One line per file (restored, unchanged, left alone, missing,\n"
         "failed), then the counts. --list shows the saves that can be undone, newest\n"
         "first, and changes nothing. Only records of your own that nobody else may\n"
         "write are used; any other is named and left alone. A record whose copy of\n"
         "some files failed at the save lists them and is undone only with --partial,\n"
         "which puts back the others. Exit status 1 when any file was not put back.\n"
         "Example: tkvhdr undo plate7\n",
         Undo},
        {"resave", 1, 1, "open the file and save it back, as the editor does",
         "Usage: tkvhdr resave FILE\n"
         "Opens FILE as the editor's Open does and writes its headers back as the\n"
         "editor's Save does. The sample data are never changed.\n"
         "Example: tkvhdr resave A01.tkv\n",
         Resave},
        {"example", 1, 1, "write an example sample file",
         "Usage: tkvhdr example FILE\n"
         "Writes a realistic example sample file (trace data, a version 3.0 Standard\n"
         "Header and an Extended Header with entries of every type) to FILE, which must\n"
         "not exist yet.\n"
         "Example: tkvhdr example demo.tkv\n",
         Example},
    };
    return verbs;
}

// The verbs that rewrite sample files.
bool Writes(const std::string& verb) {
    static const std::string kWriting[] = {"set", "delete", "import", "apply", "resave", "undo"};
    return std::find(std::begin(kWriting), std::end(kWriting), verb) != std::end(kWriting);
}

void Usage(std::ostream& os) {
    os << "Usage: tkvhdr VERB [OPTIONS] FILE [ARGUMENTS]\n"
          "Reads and changes the headers of .tkv and .pkv sample data files.\n\nVerbs:\n";
    for (const auto& v : Verbs())
        os << "  " << v.name << std::string(10 - std::string(v.name).size(), ' ') << v.summary
           << '\n';
    os << "\nOptions:\n  --help     this text (after a verb: that verb's help)\n"
          "  --version  the program's version\n"
          "  --no-journal  (writing verbs) where no rewrite journal can be kept, write\n"
          "             without one instead of refusing: an interruption may then\n"
          "             damage the file\n";
}

// The first line of a verb's help: its usage line.
std::string UsageLine(const Verb& v) {
    std::string help = v.help;
    return help.substr(0, help.find('\n'));
}

}  // namespace

int RunTkvHdr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              std::istream& in) {
    if (args.empty()) {
        Usage(err);
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        Usage(out);
        return 0;
    }
    if (args[0] == "--version") {
        out << kVersion << '\n';
        return 0;
    }
    const Verb* verb = nullptr;
    for (const auto& v : Verbs())
        if (args[0] == v.name) verb = &v;
    if (!verb) {
        err << "tkvhdr: unknown verb '" << args[0] << "'\n";
        Usage(err);
        return 2;
    }
    Context cx{
        out, err, in, OnceStreamMessages(err), InstrumentEditPermission::FromSystemSettings(), {}};
    bool optionsDone = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsDone && (a == "--help" || a == "-h")) {
            out << verb->help;
            return 0;
        }
        if (!optionsDone && a == "--") {
            optionsDone = true;
        } else if (!optionsDone && a == "--hex" && std::string(verb->name) == "get") {
            cx.hex = true;
        } else if (!optionsDone && a == "--dry-run" &&
                   (std::string(verb->name) == "apply" || std::string(verb->name) == "sheet")) {
            cx.dryRun = true;
        } else if (!optionsDone && a == "--list" && std::string(verb->name) == "undo") {
            cx.list = true;
        } else if (!optionsDone && a == "--partial" && std::string(verb->name) == "undo") {
            cx.partial = true;
        } else if (!optionsDone && a == "--keep-going" && std::string(verb->name) == "sheet") {
            cx.keepGoing = true;
        } else if (!optionsDone && (a == "--format" || a.rfind("--format=", 0) == 0) &&
                   std::string(verb->name) == "sheet") {
            if (a == "--format") {
                if (i + 1 >= args.size()) {
                    err << UsageLine(*verb) << '\n';
                    return 2;
                }
                cx.format = args[++i];
            } else {
                cx.format = a.substr(9);
            }
        } else if (!optionsDone && a == "--no-journal" &&
                   ((Writes(verb->name) && std::string(verb->name) != "undo") ||
                    std::string(verb->name) == "sheet")) {
            cx.noJournal = true;
        } else if (!optionsDone && a.size() > 2 && a.rfind("--", 0) == 0) {
            err << "tkvhdr " << verb->name << ": unknown option '" << a << "'\n"
                << UsageLine(*verb) << '\n';
            return 2;
        } else {
            cx.args.push_back(a);
        }
    }
    if (cx.args.size() < verb->minArgs || (verb->maxArgs && cx.args.size() > verb->maxArgs)) {
        err << UsageLine(*verb) << '\n';
        return 2;
    }
    // The file the messages name (a sheet's first argument is its sub-verb).
    const std::string& file =
        std::string(verb->name) == "sheet" && cx.args.size() > 1 ? cx.args[1] : cx.args[0];
    // The verbs that rewrite sample files obey the instrument's configuration, as
    // the editor's editing commands do.
    const bool writes = Writes(verb->name);
    // A file another writer holds is waited for a few seconds; the user hears why.
    RandomAccessFile::SetLockWaitNotice([&err](const std::string& path) {
        err << path << " is being written by another program; waiting for it...\n";
    });
    struct NoticeReset {
        ~NoticeReset() { RandomAccessFile::SetLockWaitNotice({}); }
    } resetNotice;
    if (writes && !cx.dryRun && !cx.list && !cx.permission.IsEditAllowed()) {
        err << "tkvhdr " << verb->name << ": editing is not allowed on this instrument ("
            << InstrumentEditPermission::kAllowEdit << " in the instrument's "
            << InstrumentEditPermission::kConfigFile << "); nothing was written\n";
        return 1;
    }
    try {
        return verb->run(cx);
    } catch (const Failed&) {
        return 1;  // its message is on standard error already
    } catch (const EntryArguments::Failure& f) {
        err << f.message << '\n';
        if (f.usage) err << UsageLine(*verb) << '\n';
        return f.usage ? 2 : 1;
    } catch (const AlreadyReported&) {
        return 1;
    } catch (const FileError& e) {
        err << e.what() << '\n';
    } catch (const HeaderError& e) {
        err << file << ": " << e.what() << '\n';
    } catch (const std::bad_alloc&) {
        err << file << ": not enough memory\n";
    }
    return 1;
}

int RunTkvHdr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::istringstream none;
    return RunTkvHdr(args, out, err, none);
}
