#pragma once
// Conversions between the program's wide (UTF-16) text and the 8-bit text that
// labels and ASCII values are stored in, through one code page for the whole
// program: Windows-1252 (the instrument software's), or ISO-8859-1.
//
// Every byte widens to one character and that character narrows back to the
// same byte, so every byte round-trips in either code page. In Windows-1252 the
// five bytes it leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) widen to the C1
// control of the same code, as Windows does. A character the code page cannot
// hold narrows to '?'.

#include <string>
#include <string_view>

class TextCodec {
  public:
    static constexpr char kDefaultChar = '?';

    enum class CodePage { Windows1252, Latin1 };
    // The code page of every conversion below (Windows-1252 unless set).
    static void SetCodePage(CodePage page);
    static CodePage GetCodePage();
    // Its name, for messages: "Windows-1252" or "ISO-8859-1".
    static const char* CodePageName();
    // True when every character of `text` narrows to a byte of its own.
    static bool CanNarrow(std::u16string_view text);

    static std::u16string WidenAnsi(std::string_view bytes);
    static std::string NarrowAnsi(std::u16string_view text);

    // UTF-16 <-> UTF-8, for standard output, the command line and Qt. Unpaired
    // surrogates become U+FFFD; invalid UTF-8 sequences likewise.
    static std::string ToUtf8(std::u16string_view text);
    static std::u16string FromUtf8(std::string_view text);
    // True when `text` is well-formed UTF-8 (FromUtf8 replaces nothing in it).
    static bool IsUtf8(std::string_view text);
    // UTF-8 text for one line of output, in every format alike: a backslash as
    // \\, tab, line feed and carriage return as \t, \n, \r, other control
    // characters (C0, DEL, and C1 as its two bytes \xC2\xHH) and every byte that is not part of
    // well-formed UTF-8 as \xHH (so a file name that is not UTF-8 is shown, never refused or
    // replaced). Two different texts never come out alike.
    static std::string Escaped(std::string_view text);
    // Text quoted in a message: Escaped, and cut to its first kQuotedBytes bytes
    // followed by "..." when longer, so that hostile input makes no hostile
    // message.
    static constexpr std::size_t kQuotedBytes = 200;
    static std::string Quoted(std::string_view text);
    // A whole message for a terminal: as Escaped, but a backslash, a tab and a
    // line feed stay as they are (the message's own layout, and the escapes of
    // the texts it quotes, which it does not escape again).
    static std::string Printable(std::string_view text);

    // 8-bit text straight to UTF-8.
    static std::string AnsiToUtf8(std::string_view bytes) { return ToUtf8(WidenAnsi(bytes)); }
};
