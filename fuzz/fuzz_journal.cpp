// The rewrite journal's decoder on any bytes. The input is the journal without
// its closing hash, which the target appends, so that the fuzzer explores the
// structure behind the checksum instead of the checksum itself. No crash, no
// allocation beyond the input, and a journal that decodes encodes back to the
// same bytes.
#include <cstdlib>
#include <cstring>

#include "platform/RewriteJournal.h"
#include "platform/StreamHash.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    const Hash128 h = StreamHash::Of(bytes);
    for (std::uint64_t word : {h.lo, h.hi})
        for (int k = 0; k < 8; ++k) bytes.push_back(static_cast<std::uint8_t>(word >> (8 * k)));
    RewriteJournal::Head head;
    std::vector<RewriteJournal::Entry> entries;
    if (!RewriteJournal::Decode(bytes, head, entries)) return 0;
    std::vector<std::vector<std::uint8_t>> oldTails;
    for (const auto& e : entries) {
        const std::uint64_t n = e.oldLength - e.tailStart;
        if (e.oldTailOffset > bytes.size() || n > bytes.size() - e.oldTailOffset) std::abort();
        if (e.name.empty() || e.name.find('/') != std::string::npos) std::abort();
        oldTails.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(e.oldTailOffset),
                              bytes.begin() + static_cast<std::ptrdiff_t>(e.oldTailOffset + n));
    }
    if (RewriteJournal::Encode(head, entries, oldTails) != bytes) std::abort();
    return 0;
}
