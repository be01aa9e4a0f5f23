// Any text parsed as any type: no crash; what parses formats to text that parses
// to the same value again (integers exactly, in both bases where it can).
#include <cstdlib>

#include "model/HeaderElement.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const std::uint32_t kTypes[] = {1, 2, 8, 25, 32, 36, 42, 44, 0, 63, 5};
    const std::uint32_t type = kTypes[data[0] % std::size(kTypes)];
    std::u16string text;
    for (std::size_t i = 1; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    HeaderElement e;
    std::uint32_t failed = 0;
    if (!e.Parse(text, type, failed)) {
        if (failed >= e.GetCount() && e.GetCount() > 0) std::abort();
        return 0;
    }
    const std::u16string shown = e.Format(10);
    e.Format(16);
    if (type == 8 || type == 25 || type == 42 || type == 44) {
        HeaderElement again;
        if (!again.Parse(shown, type, failed) || !(again == e)) std::abort();
    }
    return 0;
}
