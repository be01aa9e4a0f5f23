#include "format/SheetTable.h"

#include "format/Enforce.h"

namespace {
bool EndsWith(std::string_view s, std::string_view tail) {
    if (tail.size() > s.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        char c = s[s.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}
}  // namespace

char SheetTable::SeparatorFor(std::string_view fileName) {
    return EndsWith(fileName, ".tsv") || EndsWith(fileName, ".tab") ? '\t' : ',';
}

SheetTable::Table::Table(const Records& records) {
    for (std::size_t r = 0; r < records.size(); ++r) {
        for (const std::string& field : records[r]) AddField(field);
        EndRecord(r + 1);
    }
}

void SheetTable::Table::AddField(std::string_view text) {
    m_strText.append(text);
    m_fieldEnds.push_back(static_cast<std::uint32_t>(m_strText.size()));
}

void SheetTable::Table::EndRecord(std::size_t line) {
    m_recordEnds.push_back(static_cast<std::uint32_t>(m_fieldEnds.size()));
    m_lines.push_back(static_cast<std::uint32_t>(line));
}

std::size_t SheetTable::Table::Width(std::size_t record) const {
    return m_recordEnds[record] - (record ? m_recordEnds[record - 1] : 0);
}

std::string_view SheetTable::Table::Field(std::size_t record, std::size_t column) const {
    const std::size_t f = (record ? m_recordEnds[record - 1] : 0) + column;
    const std::size_t begin = f ? m_fieldEnds[f - 1] : 0;
    return std::string_view(m_strText).substr(begin, m_fieldEnds[f] - begin);
}

SheetTable::Record SheetTable::Table::RecordAt(std::size_t record) const {
    Record out;
    for (std::size_t c = 0; c < Width(record); ++c) out.emplace_back(Field(record, c));
    return out;
}

SheetTable::Table SheetTable::Read(std::string_view text, char separator) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a spreadsheet's BOM
    Enforce<ParseError>(text.size() < UINT32_MAX, 1, 1, "a table of 4 GB or more");
    Table table;
    table.m_strText.reserve(text.size());
    std::string field;
    std::size_t line = 1;        // of the text
    std::size_t recordLine = 1;  // where the record began
    std::size_t column = 1;
    bool quoted = false;     // inside a quoted field
    bool wasQuoted = false;  // the field began with a quote
    bool any = false;        // the record has begun
    auto endField = [&] {
        table.AddField(field);
        field.clear();
        wasQuoted = false;
        ++column;
    };
    auto endRecord = [&] {
        endField();
        table.EndRecord(recordLine);
        any = false;
        column = 1;
        recordLine = line;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') {
                field += c;
                if (c == '\n') ++line;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
            }
            continue;
        }
        if (c == '"') {
            if (!field.empty() || wasQuoted)
                throw ParseError(recordLine, column,
                                 "a quote inside a field that does not begin with one");
            quoted = wasQuoted = any = true;
        } else if (c == separator) {
            endField();
            any = true;
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;  // the CR of CRLF
        } else if (c == '\n') {
            ++line;
            endRecord();
        } else {
            if (wasQuoted) throw ParseError(recordLine, column, "text after a quoted field's end");
            field += c;
            any = true;
        }
    }
    if (quoted) throw ParseError(recordLine, column, "a quoted field that never ends");
    if (any || !field.empty()) endRecord();
    return table;
}

SheetTable::Records SheetTable::Parse(std::string_view text, char separator) {
    const Table table = Read(text, separator);
    Records records;
    for (std::size_t r = 0; r < table.Size(); ++r) records.push_back(table.RecordAt(r));
    return records;
}

std::string SheetTable::Write(const Records& records, char separator) {
    std::string out;
    for (const Record& record : records) {
        for (std::size_t c = 0; c < record.size(); ++c) {
            if (c) out += separator;
            const std::string& f = record[c];
            // A text that begins with a byte order mark loses it when read: the
            // first field quoted keeps its own.
            const bool atStart = out.empty() && f.rfind("\xEF\xBB\xBF", 0) == 0;
            if (!atStart &&
                f.find_first_of(std::string("\"\r\n") + separator) == std::string::npos) {
                out += f;
                continue;
            }
            out += '"';
            for (char ch : f) {
                if (ch == '"') out += '"';
                out += ch;
            }
            out += '"';
        }
        out += "\r\n";
    }
    return out;
}
