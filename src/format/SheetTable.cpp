#include "format/SheetTable.h"

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

SheetTable::Records SheetTable::Parse(std::string_view text, char separator) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a spreadsheet's BOM
    Records records;
    Record record;
    std::string field;
    std::size_t row = 1;
    bool quoted = false;      // inside a quoted field
    bool wasQuoted = false;   // the field began with a quote
    bool any = false;         // the record has begun
    auto endField = [&] {
        record.push_back(std::move(field));
        field.clear();
        wasQuoted = false;
    };
    auto endRecord = [&] {
        endField();
        records.push_back(std::move(record));
        record.clear();
        any = false;
        ++row;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') {
                field += c;
                if (c == '\n') ++row;
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
                throw ParseError(row, record.size() + 1,
                                 "a quote inside a field that does not begin with one");
            quoted = wasQuoted = any = true;
        } else if (c == separator) {
            endField();
            any = true;
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;  // the CR of CRLF
        } else if (c == '\n') {
            endRecord();
        } else {
            if (wasQuoted)
                throw ParseError(row, record.size() + 1, "text after a quoted field's end");
            field += c;
            any = true;
        }
    }
    if (quoted) throw ParseError(row, record.size() + 1, "a quoted field that never ends");
    if (any || !field.empty()) endRecord();
    return records;
}

std::string SheetTable::Write(const Records& records, char separator) {
    std::string out;
    for (const Record& record : records) {
        for (std::size_t c = 0; c < record.size(); ++c) {
            if (c) out += separator;
            const std::string& f = record[c];
            if (f.find_first_of(std::string("\"\r\n") + separator) == std::string::npos) {
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
