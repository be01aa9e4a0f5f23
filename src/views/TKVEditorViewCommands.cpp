// The editing commands of the tree view: insert, edit, delete, copy, paste and
// the two commands of the folder-wide edit. Dialogs collect what the user wants;
// the commands change the tree and tell both panes.

#include "dialogs/BooleanDlg.h"
#include "dialogs/DialogRunner.h"
#include "dialogs/ListDlg.h"
#include "dialogs/NumberDlg.h"
#include "dialogs/StringDlg.h"
#include "document/TKVEditorDoc.h"
#include "model/ElementType.h"
#include "model/LabelCompare.h"
#include "platform/TextCodec.h"
#include "platform/UserMessages.h"
#include "platform/qt/QtText.h"
#include "views/TKVEditorView.h"

namespace {

// A label as the user typed it, stored: a to z upper-cased (every other
// character stays as typed), then narrowed to 8 bits.
std::string StoredLabel(const QString& typed) {
    return UpperCaseLabel(ToAnsi(typed));
}

}  // namespace

DialogRunner& CTKVEditorView::Runner() {
    static DialogRunner modal;
    return m_pRunner ? *m_pRunner : modal;
}

void CTKVEditorView::OnDelete(HeaderNode* entry) {
    CTKVEditorDoc* doc = GetDocument();
    if (!entry || !doc) return;
    const std::string question = FormatMessage(kReallyDelete, TextCodec::AnsiToUtf8(entry->label));
    if (doc->Messages().Ask(question, MessageButtons::YesNo) == MessageAnswer::Yes)
        doc->DeleteEntry(entry);
}

void CTKVEditorView::OnCopy(HeaderNode* entry) {
    if (entry && GetDocument()) GetDocument()->SetCopiedEntry(*entry);
}

void CTKVEditorView::OnPaste(HeaderNode* list) {
    CTKVEditorDoc* doc = GetDocument();
    if (!doc || !list || !doc->GetCopiedEntry()) return;
    auto copy = doc->GetCopiedEntry()->DeepCopy();
    while (HeaderTree::Find(*list, copy->label)) {
        const std::string label = TextCodec::AnsiToUtf8(copy->label);
        if (doc->Messages().Ask(FormatMessage(kRename, label), MessageButtons::YesNo) !=
            MessageAnswer::Yes)
            return;  // the copy goes; the buffer stays
        CListDlg dlg(doc->Messages(), this);
        dlg.m_labelCheck.m_pSiblings = &list->children;
        dlg.m_strLabel = FromAnsi(copy->label);
        dlg.m_strCaption = QString::fromStdString(FormatMessage(kNewLabelCaption, label));
        if (Runner().Run(dlg) == QDialog::Accepted) copy->label = StoredLabel(dlg.m_strLabel);
    }
    InsertEntryItem(FindItemOfEntry(list), doc->PasteEntry(this, *list, std::move(copy)));
}

bool CTKVEditorView::RunNewEntryDialog(CEntryDialog& dlg, HeaderNode* list) {
    dlg.m_labelCheck.m_pSiblings = &list->children;
    return Runner().Run(dlg) == QDialog::Accepted;
}

void CTKVEditorView::AddNewEntry(HeaderNode* list, const QString& label, bool isList,
                                 HeaderElement value) {
    auto entry = std::make_unique<HeaderNode>(StoredLabel(label), isList);
    entry->value = std::move(value);
    InsertEntryItem(FindItemOfEntry(list),
                    GetDocument()->InsertEntry(this, *list, std::move(entry)));
}

void CTKVEditorView::OnInsertString(HeaderNode* list) {
    if (!GetDocument() || !list) return;
    CStringDlg dlg(GetDocument()->Messages(), this);
    if (!RunNewEntryDialog(dlg, list)) return;
    AddNewEntry(list, dlg.m_strLabel, false,
                dlg.m_nEncoding == 1 ? HeaderElement(dlg.m_strValue.toStdU16String())
                                     : HeaderElement(ToAnsi(dlg.m_strValue)));
}

void CTKVEditorView::OnInsertBoolean(HeaderNode* list) {
    if (!GetDocument() || !list) return;
    CBooleanDlg dlg(GetDocument()->Messages(), this);
    if (RunNewEntryDialog(dlg, list))
        AddNewEntry(list, dlg.m_strLabel, false, HeaderElement(dlg.m_bValue));
}

void CTKVEditorView::OnInsertNumber(HeaderNode* list) {
    if (!GetDocument() || !list) return;
    CNumberDlg dlg(GetDocument()->Messages(), this);
    if (RunNewEntryDialog(dlg, list)) AddNewEntry(list, dlg.m_strLabel, false, dlg.m_element);
}

void CTKVEditorView::OnInsertList(HeaderNode* list) {
    if (!GetDocument() || !list) return;
    CListDlg dlg(GetDocument()->Messages(), this);
    if (RunNewEntryDialog(dlg, list)) AddNewEntry(list, dlg.m_strLabel, true, HeaderElement());
}

void CTKVEditorView::RunEdit(HTREEITEM hItem) {
    HeaderNode* entry = GetEntryOfItem(hItem);
    CTKVEditorDoc* doc = GetDocument();
    if (!entry || entry->isList || !doc) return;
    switch (entry->value.GetType()) {
        case ToCode(ElementType::Ascii):
        case ToCode(ElementType::Unicode):
            EditString(hItem, entry);
            break;
        case ToCode(ElementType::Boolean):
            EditBoolean(entry);
            break;
        case ToCode(ElementType::Byte):
        case ToCode(ElementType::Double):
        case ToCode(ElementType::Float):
        case ToCode(ElementType::Short):
        case ToCode(ElementType::Long):
            EditNumber(hItem, entry);
            break;
        default:
            doc->Messages().Show(
                FormatMessage(kUnknownType, std::to_string(entry->value.GetType())));
            break;
    }
}

void CTKVEditorView::ChangeValue(HTREEITEM hItem, HeaderNode* entry, HeaderElement value) {
    GetDocument()->SetEntryValue(this, *entry, std::move(value));
    // The type may have changed (ASCII to Unicode, Short to Long): the item's
    // text follows, its image stays.
    if (hItem) m_model.SetItem(hItem, ItemTextOf(entry), hItem->image);
}

void CTKVEditorView::EditString(HTREEITEM hItem, HeaderNode* entry) {
    CTKVEditorDoc* doc = GetDocument();
    CStringDlg dlg(doc->Messages(), this);
    dlg.m_labelCheck.m_bEditMode = true;
    dlg.m_bReadOnly = doc->IsReadOnly();
    dlg.m_strLabel = FromAnsi(entry->label);
    const bool ascii = entry->value.GetType() == ToCode(ElementType::Ascii);
    dlg.m_nEncoding = ascii ? 0 : 1;
    dlg.m_strValue =
        ascii ? FromAnsi(entry->value.Ascii()) : QString::fromStdU16String(entry->value.Unicode());
    if (Runner().Run(dlg) != QDialog::Accepted) return;
    ChangeValue(hItem, entry,
                dlg.m_nEncoding == 1 ? HeaderElement(dlg.m_strValue.toStdU16String())
                                     : HeaderElement(ToAnsi(dlg.m_strValue)));
}

void CTKVEditorView::EditBoolean(HeaderNode* entry) {
    CTKVEditorDoc* doc = GetDocument();
    CBooleanDlg dlg(doc->Messages(), this);
    dlg.m_labelCheck.m_bEditMode = true;
    dlg.m_bReadOnly = doc->IsReadOnly();
    dlg.m_strLabel = FromAnsi(entry->label);
    dlg.m_bValue = entry->value.GetCount() > 0 ? entry->value.GetByte(0) : 0;
    if (Runner().Run(dlg) != QDialog::Accepted) return;
    HeaderElement value = entry->value;
    if (value.GetCount() > 0) value.SetByte(0, dlg.m_bValue);  // further values stay
    ChangeValue(nullptr, entry, std::move(value));
}

void CTKVEditorView::EditNumber(HTREEITEM hItem, HeaderNode* entry) {
    CTKVEditorDoc* doc = GetDocument();
    CNumberDlg dlg(doc->Messages(), this);
    dlg.m_labelCheck.m_bEditMode = true;
    dlg.m_bReadOnly = doc->IsReadOnly();
    dlg.m_strLabel = FromAnsi(entry->label);
    dlg.m_element = entry->value;
    if (Runner().Run(dlg) != QDialog::Accepted) return;
    ChangeValue(hItem, entry, dlg.m_element);
}
