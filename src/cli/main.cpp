#include <iostream>

#include "cli/TkvHdr.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

// Windows hands the arguments over in UTF-16: they are read as such and passed
// on as UTF-8, the text of every path and value in this program. The console
// shows UTF-8, and the standard streams carry bytes as they are (no line end
// becomes CR LF inside a file written through them).
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int k = 1; k < argc; ++k) {
        const int wide = static_cast<int>(wcslen(argv[k]));
        const int n =
            ::WideCharToMultiByte(CP_UTF8, 0, argv[k], wide, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
        if (n > 0)
            ::WideCharToMultiByte(CP_UTF8, 0, argv[k], wide, arg.data(), n, nullptr, nullptr);
        args.push_back(std::move(arg));
    }
    ::SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
#else
int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
#endif
    std::ios::sync_with_stdio(false);
    int status = RunTkvHdr(args, std::cout, std::cerr, std::cin);
    std::cout.flush();
    return status;
}
