#pragma once
// The text tables of a plate sheet: comma- or tab-separated, as RFC 4180 writes
// them (a field with the separator, a quote or a line break is quoted, quotes in
// it doubled; records end with CRLF, and LF alone is read as well), UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/CodedError.h"

class SheetTable {
  public:
    using Record = std::vector<std::string>;
    using Records = std::vector<Record>;

    // A table that does not parse: `row` (the line its record begins on) and
    // `column` count from 1.
    class ParseError : public CodedError {
      public:
        ParseError(std::size_t row, std::size_t column, const std::string& what)
            : CodedError(Code::BadTable, what), m_nRow(row), m_nColumn(column) {}
        std::size_t Row() const { return m_nRow; }
        std::size_t Column() const { return m_nColumn; }

      private:
        std::size_t m_nRow, m_nColumn;
    };

    // A parsed table held compactly: the fields' text end to end and 4 bytes per
    // field and 8 per record besides, so that reading costs a small multiple of
    // the text's size whatever its shape (a line of commas is a field per byte).
    class Table {
      public:
        Table() = default;
        // The records given, each on the line of its index + 1.
        Table(const Records& records);  // NOLINT: a table of records, as the editor pastes them
        std::size_t Size() const { return m_lines.size(); }
        bool Empty() const { return m_lines.empty(); }
        std::size_t Width(std::size_t record) const;
        std::string_view Field(std::size_t record, std::size_t column) const;
        // The line of the text `record` begins on (from 1).
        std::size_t Line(std::size_t record) const { return m_lines[record]; }
        Record RecordAt(std::size_t record) const;

      private:
        friend class SheetTable;
        void AddField(std::string_view text);
        void EndRecord(std::size_t line);
        std::string m_strText;
        std::vector<std::uint32_t> m_fieldEnds;   // into m_strText
        std::vector<std::uint32_t> m_recordEnds;  // into m_fieldEnds
        std::vector<std::uint32_t> m_lines;
    };

    // Tab for a name ending in .tsv or .tab, else comma.
    static char SeparatorFor(std::string_view fileName);
    // Throws ParseError; a text of 4 GB or more does not parse.
    static Table Read(std::string_view text, char separator);
    static Records Parse(std::string_view text, char separator);
    static std::string Write(const Records& records, char separator);
};
