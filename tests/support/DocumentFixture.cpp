#include "support/DocumentFixture.h"

#include "format/BlockPath.h"
#include "format/ExtendedHeaderCodec.h"

HeaderElement LongValue(std::int32_t v) {
    HeaderElement e(ElementType::Long, 1);
    e.SetLong(0, v);
    return e;
}

HeaderElement FloatValue(float v) {
    HeaderElement e(ElementType::Float, 1);
    e.SetFloat(0, v);
    return e;
}

HeaderNode* FindAt(const HeaderNode& root, const std::string& path) {
    const HeaderNode* n = &root;
    for (auto part : BlockPath::SplitPath(path)) {
        n = HeaderTree::Find(*n, part);
        if (!n) return nullptr;
    }
    return const_cast<HeaderNode*>(n);
}

HeaderNode* AddAt(HeaderNode& root, const std::string& path, std::optional<HeaderElement> value) {
    auto parts = BlockPath::SplitPath(path);
    HeaderNode* list = &root;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        HeaderNode* next = HeaderTree::Find(*list, parts[i]);
        if (!next)
            next = HeaderTree::Insert(
                *list, std::make_unique<HeaderNode>(std::string(parts[i]), true), &root);
        list = next;
    }
    auto node = std::make_unique<HeaderNode>(std::string(parts.back()), !value.has_value());
    if (value) node->value = *value;
    return HeaderTree::Insert(*list, std::move(node), &root);
}

Bytes SampleFile(const HeaderNode& root, StandardHeader record, std::size_t dataSize,
                 std::uint32_t seed) {
    return MakeFileBytes(PatternBytes(dataSize, seed), EncodeExtendedHeaderBlock(root), record);
}

HeaderNode* InsertLeaf(CTKVEditorDoc& doc, const std::string& path, HeaderElement value) {
    HeaderNode* n = AddAt(*doc.m_pRoot, path, value);
    n->pending = doc.m_bFolderEditMode;
    doc.NotifyEntryInserted(nullptr, n);
    doc.SetModified(true);
    return n;
}

HeaderNode* InsertList(CTKVEditorDoc& doc, const std::string& path) {
    HeaderNode* n = AddAt(*doc.m_pRoot, path, std::nullopt);
    n->pending = doc.m_bFolderEditMode;
    doc.NotifyEntryInserted(nullptr, n);
    doc.SetModified(true);
    return n;
}

void EditValue(CTKVEditorDoc& doc, HeaderNode* entry, HeaderElement value) {
    if (doc.m_bFolderEditMode) entry->savedValue = entry->value;
    entry->pending = doc.m_bFolderEditMode;
    entry->value = std::move(value);
    doc.NotifyEntryChanged(nullptr, entry);
    doc.SetModified(true);
}
