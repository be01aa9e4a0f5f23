// Plate sheets: any text through the table reader, the header and the cells'
// values. No crash, no hang; a table that reads writes back to the same records.
#include <cstdlib>

#include "document/EntryArguments.h"
#include "document/SheetImport.h"
#include "format/SheetTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const char separator = data[0] % 2 ? '\t' : ',';
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    SheetTable::Table table;
    try {
        table = SheetTable::Read(text, separator);
    } catch (const SheetTable::ParseError& e) {
        if (e.Row() == 0 || e.Column() == 0) std::abort();
        return 0;
    }
    SheetTable::Records records;
    for (std::size_t r = 0; r < table.Size(); ++r) records.push_back(table.RecordAt(r));
    // A record of one empty field is a blank line, which Write cannot tell apart.
    bool blank = false;
    for (const auto& record : records) blank |= record.size() == 1 && record[0].empty();
    if (!blank && SheetTable::Parse(SheetTable::Write(records, separator), separator) != records)
        std::abort();
    std::vector<SheetImport::Column> columns;
    try {
        columns = SheetImport::ReadHeader(table, true);
    } catch (const SheetImport::BadHeader&) {
        return 0;
    }
    for (std::size_t r = 1; r < table.Size(); ++r)
        for (std::size_t c = 1; c < table.Width(r) && c <= columns.size(); ++c) {
            try {
                EntryArguments::ParseValues(std::string(table.Field(r, c)),
                                            columns[c - 1].typed ? columns[c - 1].type : 0);
            } catch (const EntryArguments::Failure&) {
            }
        }
    return 0;
}
