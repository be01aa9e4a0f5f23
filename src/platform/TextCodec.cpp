#include "platform/TextCodec.h"

#include <cstdint>

namespace {

// Windows-1252 from 0x80 to 0x9F; the undefined bytes stand for themselves.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

TextCodec::CodePage g_codePage = TextCodec::CodePage::Windows1252;

char16_t WidenByte(unsigned char b) {
    if (g_codePage == TextCodec::CodePage::Windows1252 && b >= 0x80 && b <= 0x9F)
        return kWindows1252High[b - 0x80];
    return b;
}

// The byte for `c`, or -1 when the code page has none.
int NarrowChar(char16_t c) {
    if (g_codePage == TextCodec::CodePage::Latin1) return c <= 0xFF ? c : -1;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (int k = 0; k < 32; ++k)
        if (kWindows1252High[k] == c) return 0x80 + k;
    return -1;
}

bool IsPair(std::u16string_view text, std::size_t i) {
    return text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
           text[i + 1] <= 0xDFFF;
}

}  // namespace

void TextCodec::SetCodePage(CodePage page) {
    g_codePage = page;
}

TextCodec::CodePage TextCodec::GetCodePage() {
    return g_codePage;
}

const char* TextCodec::CodePageName() {
    return g_codePage == CodePage::Windows1252 ? "Windows-1252" : "ISO-8859-1";
}

bool TextCodec::CanNarrow(std::u16string_view text) {
    for (char16_t c : text)
        if (NarrowChar(c) < 0) return false;
    return true;
}

std::u16string TextCodec::WidenAnsi(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char c : bytes) out.push_back(WidenByte(static_cast<unsigned char>(c)));
    return out;
}

std::string TextCodec::NarrowAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int b = NarrowChar(text[i]);
        if (b >= 0) {
            out.push_back(static_cast<char>(b));
        } else {
            // A surrogate pair is one character: one default character for both halves.
            if (IsPair(text, i)) ++i;
            out.push_back(kDefaultChar);
        }
    }
    return out;
}

namespace {
void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}
}  // namespace

std::string TextCodec::ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsPair(text, i)) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

namespace {
// The length of the well-formed UTF-8 sequence at text[i], or 0 when none
// begins there (overlong forms, surrogates and values beyond U+10FFFF included).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) return 1;
    const std::size_t need = b >= 0xF8 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : 0;
    if (need == 0 || need >= text.size() - i) return 0;
    char32_t v = b & (0x3F >> need);
    for (std::size_t k = 1; k <= need; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        v = (v << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (v < kMin[need] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    return need + 1;
}
}  // namespace

bool TextCodec::IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8SequenceAt(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

namespace {
// Escaped, or (`layout`) Printable.
std::string Escape(std::string_view text, bool layout) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto u = static_cast<unsigned char>(text[i]);
        const std::size_t n = Utf8SequenceAt(text, i);
        if (layout && (u == '\\' || u == '\t' || u == '\n')) {
            out += static_cast<char>(u);
        } else if (u == '\\') {
            out += "\\\\";
        } else if (u == '\t') {
            out += "\\t";
        } else if (u == '\n') {
            out += "\\n";
        } else if (u == '\r') {
            out += "\\r";
        } else if (n == 0 || u < 0x20 || u == 0x7F ||
                   (u == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
            // A C1 control (U+0080 to U+009F) goes byte by byte: its lead byte
            // here, the next as a byte outside a sequence.
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        ++i;
    }
    return out;
}
}  // namespace

std::string TextCodec::Escaped(std::string_view text) {
    return Escape(text, false);
}

std::string TextCodec::Quoted(std::string_view text) {
    if (text.size() <= kQuotedBytes) return Escape(text, false);
    return Escape(text.substr(0, kQuotedBytes), false) + "...";
}

std::string TextCodec::Printable(std::string_view text) {
    return Escape(text, true);
}

std::u16string TextCodec::FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<unsigned char>(text[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (b < 0x80) {
            cp = b;
        } else {
            std::size_t need = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
            if (need > 0 && b < 0xF8 && need < text.size() - i) {
                char32_t v = b & (0x3F >> need);
                bool ok = true;
                for (std::size_t k = 1; k <= need; ++k) {
                    auto cb = static_cast<unsigned char>(text[i + k]);
                    if ((cb & 0xC0) != 0x80) {
                        ok = false;
                        break;
                    }
                    v = (v << 6) | (cb & 0x3F);
                }
                static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
                if (ok && v >= kMin[need] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                    cp = v;
                    len = need + 1;
                }
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}
