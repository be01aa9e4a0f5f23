#pragma once
// The command-line tool `tkvhdr`: reads and rewrites sample data file headers for
// scripts, on the same format code as the editor. Text goes out as UTF-8.

#include <ostream>
#include <string>
#include <vector>

// Runs the tool with `args` (without the program name). Returns the exit status:
// 0 success, 1 failure (the message is on `err`), 2 bad arguments.
int RunTkvHdr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
