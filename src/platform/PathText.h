#pragma once
// Paths are UTF-8 text everywhere in this program. A std::filesystem::path is
// made from that text and turned back into it here alone: on Windows a path
// made from a plain std::string would read it in the ANSI code page.

#include <filesystem>
#include <string>

inline std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string TextOf(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
