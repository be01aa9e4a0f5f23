#pragma once
// Runs tkvhdr in-process (the same code as the binary) and collects what it says.

#include <sstream>

#include "cli/TkvHdr.h"

struct ToolRun {
    int status;
    std::string out, err;
};

inline ToolRun Tool(std::vector<std::string> args, const std::string& input = "") {
    std::ostringstream out, err;
    std::istringstream in(input);
    int status = RunTkvHdr(args, out, err, in);
    return {status, out.str(), err.str()};
}
