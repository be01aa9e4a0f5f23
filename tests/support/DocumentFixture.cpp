#include "support/DocumentFixture.h"

namespace {
// A leaf with `value`, or a list without one.
std::unique_ptr<HeaderNode> NewEntry(std::string_view label, std::optional<HeaderElement> value) {
    auto node = std::make_unique<HeaderNode>(std::string(label), !value.has_value());
    if (value) node->value = std::move(*value);
    return node;
}

// The entry at `path` made by the document's insert, the lists on its way as
// they are (or plain new lists).
HeaderNode* InsertAt(CTKVEditorDoc& doc, const std::string& path,
                     std::optional<HeaderElement> value) {
    const auto parts = BlockPath::SplitPath(path);
    return doc.InsertEntry(nullptr, HolderOf(*doc.m_pRoot, path),
                           NewEntry(parts.back(), std::move(value)));
}
}  // namespace

Bytes SampleFile(const HeaderNode& root, StandardHeader record, std::size_t dataSize,
                 std::uint32_t seed) {
    return MakeFileBytes(PatternBytes(dataSize, seed), EncodeExtendedHeaderBlock(root), record);
}

HeaderNode* InsertLeaf(CTKVEditorDoc& doc, const std::string& path, HeaderElement value) {
    return InsertAt(doc, path, std::move(value));
}

HeaderNode* InsertList(CTKVEditorDoc& doc, const std::string& path) {
    return InsertAt(doc, path, std::nullopt);
}

void EditValue(CTKVEditorDoc& doc, HeaderNode* entry, HeaderElement value) {
    doc.SetEntryValue(nullptr, *entry, std::move(value));
}
