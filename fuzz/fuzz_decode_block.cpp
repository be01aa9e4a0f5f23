// Any bytes as an Extended Header block: decoding never crashes, and what decodes
// encodes to a block that decodes to the same tree again.
#include <cstdlib>

#include "format/ExtendedHeaderCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto root = ExtendedHeader::MakeRoot();
    if (!DecodeExtendedHeader(std::span(data, size), *root)) return 0;
    const auto block = EncodeExtendedHeaderBlock(*root);
    auto again = ExtendedHeader::MakeRoot();
    if (!block.empty() && !DecodeExtendedHeader(block, *again)) std::abort();
    if (EncodeExtendedHeaderBlock(*again) != block &&
        !(block.size() == 4 && again->children.empty()))
        std::abort();
    return 0;
}
