// tkvhdr sheet: one value per file across a folder, to a table or from one.

#include <map>

#include "cli/HeaderJson.h"
#include "cli/Tool.h"
#include "cli/ToolReport.h"
#include "document/EntryArguments.h"
#include "document/FolderSheet.h"
#include "document/SheetImport.h"
#include "format/SheetTable.h"
#include "platform/FileSystem.h"
#include "platform/TextCodec.h"

namespace Tool {

namespace {

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
            throw EntryArguments::Failure{"tkvhdr sheet export: " + std::string(f.what()), true};
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
        cx.err << EditingNotAllowed("sheet") << '\n';
        return 1;
    }
    const RewriteOptions options =
        WriteOptions(cx, "tkvhdr sheet import " + FileSystem::DisplayName(sheetName));
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
    const std::size_t failedFiles = WriteFolderReport(cx, result.report, notTaken);
    return failedFiles == 0 && notTaken == 0 ? 0 : 1;
}

}  // namespace

int Sheet(Context& cx) {
    const std::string sub = cx.args[0];
    if (sub == "export") return SheetExport(cx);
    if (sub == "import") return SheetImport(cx);
    throw EntryArguments::Failure{"tkvhdr sheet: 'export' or 'import', not '" + sub + "'", true};
}

}  // namespace Tool
