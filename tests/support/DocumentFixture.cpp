#include "support/DocumentFixture.h"

#include "format/BlockPath.h"
#include "format/ExtendedHeaderCodec.h"

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
