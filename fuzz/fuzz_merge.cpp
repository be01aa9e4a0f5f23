// Pending entries merged into any block: no crash, and a merge that succeeds
// leaves a block whose structure still reads to its End item.
#include <cstdlib>

#include "format/BlockPath.h"
#include "format/ExtendedHeaderCodec.h"

namespace {
std::unique_ptr<HeaderNode> Pending(std::uint8_t choice) {
    static const char* kPaths[] = {"Run.Gain", "RUN.gain", "A",   "a.b.c",
                                   "Zed",      "_x",       "Run", "Run.Gain.Deep"};
    auto root = ExtendedHeader::MakeRoot();
    for (int k = 0; k < 3; ++k) {
        const char* path = kPaths[(choice >> (k * 2)) % 8];
        HeaderNode* list = root.get();
        auto parts = BlockPath::SplitPath(path);
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            HeaderNode* next = HeaderTree::Find(*list, parts[i]);
            if (!next)
                next = HeaderTree::Insert(
                    *list, std::make_unique<HeaderNode>(std::string(parts[i]), true), root.get());
            if (!next->isList) break;
            list = next;
        }
        if (!list->isList || HeaderTree::Find(*list, parts.back())) continue;
        auto leaf = std::make_unique<HeaderNode>(std::string(parts.back()), false);
        leaf->value = HeaderElement(k == 0   ? ElementType::Long
                                    : k == 1 ? ElementType::Float
                                             : ElementType::Byte,
                                    static_cast<std::uint32_t>(1 + (choice % 5)));
        leaf->pending = true;
        HeaderTree::Insert(*list, std::move(leaf), root.get());
    }
    return root;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    auto buffer = BlockPath::BlockBuffer::FromBlock(std::span(data + 1, size - 1));
    if (!buffer) return 0;
    auto pending = Pending(data[0]);
    if (!EncodeEntries(*pending, *buffer, true)) return 0;
    if (!BlockPath::FindEnd(buffer->Used())) std::abort();
    return 0;
}
