#pragma once
// Conversions between the program's wide (UTF-16) text and the 8-bit text that
// labels and ASCII values are stored in. The 8-bit code page is ISO-8859-1: every
// byte widens to the character of the same code, so every byte round-trips; a
// character that ISO-8859-1 cannot hold narrows to '?'.

#include <string>
#include <string_view>

class TextCodec {
  public:
    static constexpr char kDefaultChar = '?';

    static std::u16string WidenAnsi(std::string_view bytes);
    static std::string NarrowAnsi(std::u16string_view text);

    // UTF-16 <-> UTF-8, for standard output, the command line and Qt. Unpaired
    // surrogates become U+FFFD; invalid UTF-8 sequences likewise.
    static std::string ToUtf8(std::u16string_view text);
    static std::u16string FromUtf8(std::string_view text);

    // 8-bit (ISO-8859-1) text straight to UTF-8.
    static std::string AnsiToUtf8(std::string_view bytes) { return ToUtf8(WidenAnsi(bytes)); }
};
