#include "document/SheetImport.h"

#include "document/EntryArguments.h"

std::string SheetImport::Fault::Text(const std::string& sheetName) const {
    std::string text = sheetName + ": ";
    if (row) text += "row " + std::to_string(row) + (column ? ", column " + std::to_string(column) : "") + ": ";
    return text + what;
}

std::vector<SheetImport::Column> SheetImport::ReadHeader(const SheetTable::Record& header) {
    if (header.empty() || header[0] != "file")
        throw BadHeader{{1, 1, "the header row begins with 'file'"}};
    std::vector<Column> columns;
    for (std::size_t c = 1; c < header.size(); ++c) {
        const std::size_t colon = header[c].rfind(':');
        std::optional<std::uint32_t> type;
        if (colon != std::string::npos)
            type = EntryArguments::TypeFromName(header[c].substr(colon + 1));
        if (!type)
            throw BadHeader{{1, c + 1,
                             "'" + header[c] + "' is not PATH:TYPE (TYPE one of " +
                                 EntryArguments::TypeNames() + ")"}};
        Column column{header[c].substr(0, colon), {}, *type};
        try {
            column.narrow = NarrowPath(column.path);
        } catch (const EntryArguments::Failure& f) {
            throw BadHeader{{1, c + 1, f.message}};
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

std::string SheetImport::NarrowPath(const std::string& path) {
    std::string narrow;
    for (const std::string& label : EntryArguments::SplitPath(path))
        narrow += (narrow.empty() ? "" : ".") + label;
    return narrow;
}

std::vector<std::string> SheetImport::NarrowPaths(const std::vector<Column>& columns) {
    std::vector<std::string> paths;
    for (const auto& c : columns) paths.push_back(c.narrow);
    return paths;
}

std::vector<FolderSheet::Change> SheetImport::Changes(const SheetTable::Records& records,
                                                      const std::vector<Column>& columns,
                                                      const FolderSheet& sheet,
                                                      std::vector<Fault>& faults) {
    std::vector<FolderSheet::Change> changes;
    std::vector<std::size_t> rowOfFile(sheet.Rows().size(), 0);  // its table row, 0: none
    const std::size_t width = columns.size() + 1;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const SheetTable::Record& record = records[r];
        const std::size_t row = r + 1;
        if (record.size() == 1 && record[0].empty()) continue;  // a blank line
        if (record.size() != width) {
            faults.push_back({row, 0,
                              std::to_string(record.size()) + " fields where the header has " +
                                  std::to_string(width)});
            continue;
        }
        const auto file = sheet.FindRow(record[0]);
        if (!file) {
            faults.push_back(
                {row, 1, "no file '" + record[0] + "' with the extension in " + sheet.Folder()});
            continue;
        }
        if (rowOfFile[*file]) {
            faults.push_back(
                {row, 1, "'" + record[0] + "' has row " + std::to_string(rowOfFile[*file]) + " already"});
            continue;
        }
        rowOfFile[*file] = row;
        for (std::size_t c = 1; c < record.size(); ++c) {
            const std::string& cell = record[c];
            const auto& old = sheet.Rows()[*file].cells[c - 1];
            if (cell.empty()) continue;
            if (cell == "-") {  // the file's value there goes
                if (old) changes.push_back({*file, c - 1, {}, true});
                continue;
            }
            try {
                HeaderElement value = EntryArguments::ParseValues(cell, columns[c - 1].type);
                if (old && *old == value) continue;  // already so
                changes.push_back({*file, c - 1, std::move(value)});
            } catch (const EntryArguments::Failure& f) {
                faults.push_back({row, c + 1, f.message});
            }
        }
    }
    for (std::size_t f = 0; f < sheet.Rows().size(); ++f)
        if (!rowOfFile[f]) faults.push_back({0, 0, "no row for " + sheet.Rows()[f].name});
    return changes;
}
