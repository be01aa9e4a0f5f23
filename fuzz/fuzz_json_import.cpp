// JSON import: any text through the parser and the tree import. No crash, no
// hang; a tree the import accepts either is refused by the encoder or encodes
// to a block the reader reads back.
#include <cstdlib>

#include "cli/HeaderJson.h"
#include "format/ExtendedHeaderCodec.h"
#include "format/HeaderError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<HeaderNode> root;
    try {
        root = HeaderJson::Import(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const nlohmann::json::exception&) {
        return 0;
    } catch (const HeaderJson::Error&) {
        return 0;
    }
    std::vector<std::uint8_t> block;
    try {
        block = EncodeExtendedHeaderBlock(*root);
    } catch (const HeaderError&) {
        return 0;
    }
    auto back = ExtendedHeader::MakeRoot();
    if (!block.empty() && !DecodeExtendedHeader(block, *back)) std::abort();
    return 0;
}
