// The verbs on one file's headers: read them, change one entry, or replace the
// Extended Header whole.

#include "cli/HeaderJson.h"
#include "cli/Tool.h"
#include "document/EntryArguments.h"
#include "document/TKVEditorDoc.h"
#include "format/ExampleFile.h"
#include "format/HeaderFile.h"
#include "format/StandardHeaderRows.h"
#include "model/HeaderNode.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/TextCodec.h"

namespace Tool {

int Dump(Context& cx) {
    auto doc = Open(cx, cx.args[0]);
    std::string line;
    std::u16string text;
    HeaderTree::Walk(*doc->m_pRoot, [&](const HeaderNode& node, std::string_view nodePath) {
        line = OneLine(TextCodec::AnsiToUtf8(nodePath));
        line += '\t';
        if (node.isList) {
            line += "List\t";
        } else {
            line += ElementTypeNameAscii(node.value.GetType());
            line += '\t';
            node.value.Format(text, 10);
            line += OneLine(TextCodec::ToUtf8(text));
        }
        line += '\n';
        cx.out << line;
    });
    return 0;
}

int Header(Context& cx) {
    for (const auto& notice :
         RewriteJournal::Recover(FileSystem::FolderOf(FileSystem::RealPath(cx.args[0]))))
        cx.messages.Show(notice);
    RandomAccessFile file(cx.args[0], RandomAccessFile::Mode::Read);
    StandardHeader record;
    if (!ReadStandardHeader(file, record, false, false, cx.messages)) return 1;
    for (const auto& row : BuildStandardHeaderRows(record))
        cx.out << TextCodec::ToUtf8(row.label) << '\t' << OneLine(TextCodec::ToUtf8(row.value))
               << '\n';
    return 0;
}

int Resave(Context& cx) {
    auto doc = Open(cx, cx.args[0]);
    Save(*doc);
    return 0;
}

int Example(Context& cx) {
    ExampleFile::Write(cx.args[0]);
    return 0;
}

int Get(Context& cx) {
    auto doc = Open(cx, cx.args[0]);
    const HeaderNode& node = EntryAt(cx, *doc, cx.args[1]);
    if (!node.isList) cx.out << TextCodec::ToUtf8(node.value.Format(cx.hex ? 16 : 10));
    cx.out << '\n';
    return 0;
}

int Set(Context& cx) {
    const std::uint32_t type = TypeArgument(cx.args[2]);
    HeaderElement value = EntryArguments::ParseValues(cx.args[3], type);
    auto doc = Open(cx, cx.args[0]);
    // Tried on the tree as read (a path through a value is refused before anything
    // is written), then made again under the lock to what the file holds then, so
    // another writer's entries written meanwhile stay.
    EntryArguments::SetAtPath(*doc->m_pRoot, cx.args[1], value, false);
    if (!doc->SaveEdit(
            [&](HeaderNode& root) { EntryArguments::SetAtPath(root, cx.args[1], value, false); }))
        throw Failed{};
    return 0;
}

int Delete(Context& cx) {
    auto doc = Open(cx, cx.args[0]);
    doc->DeleteEntry(&EntryAt(cx, *doc, cx.args[1]));  // a missing entry is refused
    // Removed again under the lock from what the file holds then (see Set).
    const auto labels = EntryArguments::SplitPath(cx.args[1]);
    if (!doc->SaveEdit([&](HeaderNode& root) {
            if (HeaderNode* entry = EntryArguments::Find(root, labels))
                HeaderTree::Remove(root, entry);
        }))
        throw Failed{};
    return 0;
}

int Export(Context& cx) {
    auto doc = Open(cx, cx.args[0]);
    cx.out << HeaderJson::Export(*doc->m_pRoot).dump(2) << '\n';
    return 0;
}

int Import(Context& cx) {
    std::unique_ptr<HeaderNode> root;
    try {
        root = HeaderJson::Import(ReadInput(cx, cx.args[1]));
    } catch (const nlohmann::json::exception& e) {
        Refuse(cx, InputName(cx.args[1]) + ": JSON: " + std::string(e.what()));
    } catch (const HeaderJson::Error& e) {
        Refuse(cx, InputName(cx.args[1]) + ": " + e.what());
    }
    auto doc = Open(cx, cx.args[0]);
    doc->m_pRoot = std::move(root);
    doc->SetModified(true);
    Save(*doc);
    return 0;
}

}  // namespace Tool
