#pragma once
// The rows of the Standard Header as the viewer shows them: label and value text,
// in display order, with the rows that depend on the version and instrument.

#include <string>
#include <vector>

#include "format/StandardHeader.h"

struct StandardHeaderRow {
    std::u16string label;
    std::u16string value;
};

std::vector<StandardHeaderRow> BuildStandardHeaderRows(const StandardHeader& record);

// "%c" of the C locale for a time in seconds since 1970-01-01 00:00 UTC, in UTC,
// followed by " UTC"; " UTC" alone for a time that cannot be converted (negative).
std::string FormatRunTime(std::int32_t seconds);
