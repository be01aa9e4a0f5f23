#pragma once
// The command-line tool `tkvhdr`: reads and changes sample data file headers for
// scripts, on the same document and folder-wide edit code as the editor. Text
// goes out as UTF-8.

#include <istream>
#include <ostream>
#include <string>
#include <vector>

// Runs the tool with `args` (without the program name); `in` is read by
// `import ... -`. Returns the exit status: 0 success, 1 failure (the message is
// on `err`, nothing was written), 2 bad arguments.
int RunTkvHdr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              std::istream& in);
int RunTkvHdr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
