#pragma once
// tkvhdr run in-process by the command-line tests, with the exit status it must
// end with.

#include <gtest/gtest.h>

#include "support/ToolRunner.h"

// Runs tkvhdr, which must end with `status` (what it said is shown when not).
inline ToolRun Exits(int status, std::vector<std::string> args, const std::string& input = "") {
    ToolRun r = Tool(std::move(args), input);
    EXPECT_EQ(r.status, status) << r.out << r.err;
    return r;
}
