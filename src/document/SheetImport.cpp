#include "document/SheetImport.h"

#include <map>

#include "document/EntryArguments.h"
#include "format/BlockPath.h"
#include "model/LabelCompare.h"
#include "platform/TextCodec.h"

namespace {
std::string TypeName(std::uint32_t type) {
    std::string name(ElementTypeNameAscii(type));
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
}
}  // namespace

std::string SheetImport::Fault::Text(const std::string& sheetName) const {
    std::string text = sheetName + ": ";
    if (row)
        text += "row " + std::to_string(row) +
                (column ? ", column " + std::to_string(column) : "") + ": ";
    return text + what;
}

SheetImport::Column SheetImport::ParseColumn(const std::string& cell) {
    Column column{cell, {}, 0, false};
    if (const std::size_t colon = cell.rfind(':'); colon != std::string::npos) {
        const auto type = EntryArguments::TypeFromName(cell.substr(colon + 1));
        if (!type)
            throw EntryArguments::Failure{"'" + TextCodec::Quoted(cell) +
                                          "' is not PATH:TYPE (TYPE one of " +
                                          EntryArguments::TypeNames() + ")"};
        column = {cell.substr(0, colon), {}, *type, true};
    }
    column.narrow = NarrowPath(column.path);
    return column;
}

std::string SheetImport::HeaderCell(const Column& column) {
    return column.typed ? column.path + ":" + TypeName(column.type) : column.path;
}

std::vector<SheetImport::Column> SheetImport::ReadHeader(const SheetTable::Table& table,
                                                         bool untypedAllowed) {
    if (table.Empty() || table.Width(0) == 0 || table.Field(0, 0) != "file")
        throw BadHeader{{1, 1, "the header row begins with 'file'"}};
    if (table.Width(0) - 1 > kMaxColumns)
        throw BadHeader{{1, kMaxColumns + 2,
                         "a sheet has at most " + std::to_string(kMaxColumns) + " columns"}};
    std::vector<Column> columns;
    for (std::size_t c = 1; c < table.Width(0); ++c) {
        const std::string cell(table.Field(0, c));
        try {
            columns.push_back(ParseColumn(cell));
        } catch (const EntryArguments::Failure& f) {
            throw BadHeader{{1, c + 1, f.what()}};
        }
        if (!columns.back().typed && !untypedAllowed)
            throw BadHeader{{1, c + 1,
                             "'" + TextCodec::Quoted(cell) + "' is not PATH:TYPE (TYPE one of " +
                                 EntryArguments::TypeNames() + ")"}};
    }
    if (auto clash = PathClash(columns)) throw BadHeader{{1, clash->index + 2, clash->what}};
    return columns;
}

std::optional<SheetImport::Clash> SheetImport::PathClash(const std::vector<Column>& columns) {
    // Each column's path, and each list on the way to one, with its column; the
    // keys are views into `columns`.
    std::map<std::string_view, std::size_t, LabelLess> paths, lists;
    auto named = [&](std::size_t k) {
        return "column " + std::to_string(k + 2) + " ('" + TextCodec::Quoted(columns[k].path) +
               "')";
    };
    for (std::size_t k = 0; k < columns.size(); ++k) {
        const std::string_view path = columns[k].narrow;
        const std::string shown = "'" + TextCodec::Quoted(columns[k].path) + "'";
        if (const auto it = paths.find(path); it != paths.end())
            return Clash{k, shown + " is column " + std::to_string(it->second + 2) + " already"};
        if (const auto it = lists.find(path); it != lists.end())
            return Clash{k, shown + " holds " + named(it->second) +
                                ": one entry cannot be a value and a list"};
        for (std::size_t dot = path.find('.'); dot != std::string_view::npos;
             dot = path.find('.', dot + 1))
            if (const auto it = paths.find(path.substr(0, dot)); it != paths.end())
                return Clash{k, shown + " lies inside " + named(it->second) +
                                    ": one entry cannot be a value and a list"};
        paths.emplace(path, k);
        for (std::size_t dot = path.find('.'); dot != std::string_view::npos;
             dot = path.find('.', dot + 1))
            lists.emplace(path.substr(0, dot), k);
    }
    return std::nullopt;
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

SheetImport::CellResult SheetImport::Cell(const FolderSheet& sheet, std::size_t file,
                                          std::size_t columnIndex, const Column& column,
                                          std::string_view text) {
    const FolderSheet::Row& stored = sheet.Rows().at(file);
    const std::string shownName = TextCodec::Quoted(stored.name);
    const std::string cell(text);
    auto fault = [](std::string what) { return CellResult{std::nullopt, std::move(what)}; };
    if (!stored.error.empty()) return fault(shownName + " cannot be read: " + stored.error);
    const auto& old = stored.cells.at(columnIndex);
    // A cell "-" removes the file's value there, unless that value is the text
    // "-" itself: then the cell is that value (an exported sheet imports
    // unchanged).
    if (cell == "-" && old && old->Format() == u"-" &&
        (old->GetType() == ToCode(ElementType::Ascii) ||
         old->GetType() == ToCode(ElementType::Unicode)))
        return {};
    if (cell == "-") {
        if (!old) return {};
        if (stored.readOnly) return fault(shownName + " is read-only");
        return {FolderSheet::Change{file, columnIndex, {}, true}, {}};
    }
    if (stored.blocked.at(columnIndex))
        return fault("the path runs through a value, or the file stores a list there");
    if (!column.typed && !old)
        return fault(shownName + " has no entry " + TextCodec::Quoted(column.path) +
                     ": give the column a type (" + TextCodec::Quoted(column.path) + ":TYPE)");
    const std::uint32_t type = column.typed ? column.type : old->GetType();
    if (old && old->GetType() != type)
        return fault(shownName + " stores " + TextCodec::Quoted(column.path) + " as " +
                     std::string(ElementTypeNameAscii(old->GetType())) + ", not " +
                     std::string(ElementTypeNameAscii(type)));
    try {
        HeaderElement value = EntryArguments::ParseValues(cell, type);
        if (const char* why = BlockPath::ValueFault(value))  // the file could not hold it
            return fault(std::string("the value ") + why);
        if (old && *old == value) return {};  // already so
        if (stored.readOnly) return fault(shownName + " is read-only");
        return {FolderSheet::Change{file, columnIndex, std::move(value)}, {}};
    } catch (const EntryArguments::Failure& f) {
        return fault(f.what());
    }
}

std::vector<FolderSheet::Change> SheetImport::Changes(const SheetTable::Table& table,
                                                      const std::vector<Column>& columns,
                                                      const FolderSheet& sheet,
                                                      std::vector<Fault>& faults) {
    std::vector<FolderSheet::Change> changes;
    // The faults beyond the first kMaxFaults are counted, not kept: a sheet of
    // nothing but errors costs no more than its text.
    std::size_t unlisted = 0;
    auto add = [&](Fault fault) {
        if (faults.size() < kMaxFaults)
            faults.push_back(std::move(fault));
        else
            ++unlisted;
    };
    std::vector<std::size_t> rowOfFile(sheet.Rows().size(), 0);  // its table row, 0: none
    const std::size_t width = columns.size() + 1;
    for (std::size_t r = 1; r < table.Size(); ++r) {
        const std::size_t row = table.Line(r);
        if (table.Width(r) == 1 && table.Field(r, 0).empty()) continue;  // a blank line
        if (table.Width(r) != width) {
            add({row, 0,
                 std::to_string(table.Width(r)) + " fields where the header has " +
                     std::to_string(width)});
            continue;
        }
        const std::string name(table.Field(r, 0));
        const auto file = sheet.FindRow(name);
        if (!file) {
            add({row, 1,
                 "no file '" + TextCodec::Quoted(name) + "' with the extension in " +
                     TextCodec::Quoted(sheet.Folder())});
            continue;
        }
        if (rowOfFile[*file]) {
            add({row, 1,
                 "'" + TextCodec::Quoted(name) + "' has row " + std::to_string(rowOfFile[*file]) +
                     " already"});
            continue;
        }
        rowOfFile[*file] = row;
        for (std::size_t c = 1; c < width; ++c) {
            const std::string_view cell = table.Field(r, c);
            if (cell.empty()) continue;
            CellResult result = Cell(sheet, *file, c - 1, columns[c - 1], cell);
            if (!result.fault.empty())
                add({row, c + 1, std::move(result.fault)});
            else if (result.change)
                changes.push_back(std::move(*result.change));
        }
    }
    for (std::size_t f = 0; f < sheet.Rows().size(); ++f)
        if (!rowOfFile[f] && sheet.Rows()[f].error.empty())  // one that cannot be read is left out
            add({0, 0, "no row for " + TextCodec::Quoted(sheet.Rows()[f].name)});
    if (unlisted)
        faults.push_back(
            {0, 0, std::to_string(unlisted) + " more faults, not listed", unlisted - 1});
    return changes;
}
