#pragma once
// The text tables of a plate sheet: comma- or tab-separated, as RFC 4180 writes
// them (a field with the separator, a quote or a line break is quoted, quotes in
// it doubled; records end with CRLF, and LF alone is read as well), UTF-8.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class SheetTable {
  public:
    using Record = std::vector<std::string>;
    using Records = std::vector<Record>;

    // A table that does not parse: `row` and `column` count from 1.
    class ParseError : public std::runtime_error {
      public:
        ParseError(std::size_t row, std::size_t column, const std::string& what)
            : std::runtime_error(what), m_row(row), m_column(column) {}
        std::size_t Row() const { return m_row; }
        std::size_t Column() const { return m_column; }

      private:
        std::size_t m_row, m_column;
    };

    // Tab for a name ending in .tsv or .tab, else comma.
    static char SeparatorFor(std::string_view fileName);
    static Records Parse(std::string_view text, char separator);
    static std::string Write(const Records& records, char separator);
};
