#include <iostream>

#include "cli/TkvHdr.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::ios::sync_with_stdio(false);
    int status = RunTkvHdr(args, std::cout, std::cerr, std::cin);
    std::cout.flush();
    return status;
}
