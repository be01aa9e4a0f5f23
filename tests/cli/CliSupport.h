#pragma once
// What the command-line tests share: tkvhdr run with the exit status it must
// end with, and a header with every hard case of the written forms.

#include <bit>
#include <cmath>

#include "support/DocumentFixture.h"
#include "support/ToolRunner.h"

// A folder's regular files by name, with their bytes (as FolderContents gives them).
using Files = std::map<std::string, Bytes>;

// Writes `text` to the file at `path`, and gives the path.
inline std::string WriteText(const std::string& path, const std::string& text) {
    WriteAll(path, Bytes(text.begin(), text.end()));
    return path;
}

// Runs tkvhdr, which must end with `status` (what it said is shown when not).
inline ToolRun Exits(int status, std::vector<std::string> args, const std::string& input = "") {
    ToolRun r = Tool(std::move(args), input);
    EXPECT_EQ(r.status, status) << r.out << r.err;
    return r;
}

// Runs tkvhdr, which must end with `status` and leave `file` as it was; gives
// what it said on standard error.
inline std::string FailsUnchanged(const std::string& file, std::vector<std::string> args,
                                  int status, const std::string& input = "") {
    const Bytes before = ReadAll(file);
    const std::string verb = args[0], err = Exits(status, std::move(args), input).err;
    EXPECT_EQ(ReadAll(file), before) << verb << " failed and changed " << file;
    return err;
}

// A tree with every hard case of the written forms (JSON, sheet cells): reals
// that take every digit, infinities, NaNs with payloads, subnormals, the ends
// of each integer type, text no code page holds, unpaired surrogates, booleans
// stored as other bytes, an unknown type.
inline std::unique_ptr<HeaderNode> HardTree() {
    // Reals by value; the other numbers by their little-endian bytes.
    auto reals = [](ElementType type, std::vector<double> values) {
        HeaderElement e(type, static_cast<std::uint32_t>(values.size()));
        for (std::uint32_t i = 0; i < values.size(); ++i) {
            if (type == ElementType::Float) e.SetFloat(i, static_cast<float>(values[i]));
            if (type == ElementType::Double) e.SetDouble(i, values[i]);
        }
        return e;
    };
    auto raw = [](std::uint32_t type, std::uint32_t count, const char* hex) {
        HeaderElement e;
        e.Assign(type, count, Hex(hex));
        return e;
    };
    auto root = ExtendedHeader::MakeRoot();
    AddAt(*root, "Deep.Er.Est.S", HeaderElement(std::string_view("")));
    AddAt(*root, "Deep.U", HeaderElement(std::u16string_view(u"")));
    AddAt(*root, "Text.Latin", HeaderElement(std::string_view("\xE9\xFF\x01\x7F end")));
    AddAt(*root, "Text.Astral", HeaderElement(std::u16string_view(u"\U0001F9EC DNA \u00e9")));
    AddAt(*root, "Text.Lone", HeaderElement(std::u16string_view(u"a\xD800z\xDC00")));
    HeaderElement f =
        reals(ElementType::Float, {INFINITY, -INFINITY, NAN, -0.0, 0.1, 3.4028235e38, 1.4e-45});
    AddAt(*root, "Real.F", f);
    f.SetUInt32(2, 0x7FA00001);  // a signalling NaN with a payload
    f.SetUInt32(3, 0xFFC00000);  // a negative quiet NaN
    AddAt(*root, "Real.FBits", f);
    AddAt(*root, "Real.D",
          reals(ElementType::Double,
                {INFINITY, NAN, 4.9406564584124654e-324, 0.1, -1.7976931348623157e308,
                 0.30000000000000004, std::bit_cast<double>(std::uint64_t{0xFFF0000000000123})}));
    // The least and the greatest of each integer type; booleans stored as 1, 0, 7.
    AddAt(*root, "Int.L", raw(ToCode(ElementType::Long), 2, "00 00 00 80 ff ff ff 7f"));
    AddAt(*root, "Int.S", raw(ToCode(ElementType::Short), 2, "00 80 ff 7f"));
    AddAt(*root, "Int.B", raw(ToCode(ElementType::Byte), 2, "00 ff"));
    AddAt(*root, "Flags", raw(ToCode(ElementType::Boolean), 3, "01 00 07"));
    AddAt(*root, "Empty", HeaderElement(ElementType::Long, 0));
    AddAt(*root, "Nothing", HeaderElement());
    AddAt(*root, "Odd", raw(9, 3, "ab 00 00"));  // a type no reader knows
    AddAt(*root, "\xC5ngstr\xF6m", LongValue(1));
    return root;
}
