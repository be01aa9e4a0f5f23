#include <sstream>

#include "cli/Tool.h"
#include "document/EntryArguments.h"
#include "document/TKVEditorDoc.h"
#include "model/HeaderNode.h"
#include "platform/RandomAccessFile.h"
#include "platform/TextCodec.h"

namespace Tool {

std::string OneLine(std::string_view text) {
    return TextCodec::Escaped(text);
}

void OnceStreamMessages::Show(const std::string& text) {
    std::string fresh;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (m_shown.insert(line).second) fresh += (fresh.empty() ? "" : "\n") + line;
    // File names and values in messages reach a terminal without its controls.
    if (!fresh.empty()) StreamMessages::Show(TextCodec::Printable(fresh));
}

void Refuse(Context& cx, const std::string& message) {
    cx.err << message << '\n';
    throw Failed{};
}

namespace {
// Where no rewrite journal can be kept: --no-journal writes without one.
bool WithoutJournal(Context& cx, const NoJournalPlace& e) {
    if (cx.noJournal)
        cx.err << e.Cause() << " Writing without one, as --no-journal asks.\n";
    else
        cx.err << e.Cause() << " Nothing was written; give --no-journal to write without one.\n";
    return cx.noJournal;
}
}  // namespace

std::string EditingNotAllowed(const std::string& verb) {
    return "tkvhdr " + verb + ": editing is not allowed on this instrument (" +
           InstrumentEditPermission::kAllowEdit + " in the instrument's " +
           InstrumentEditPermission::kConfigFile + "); nothing was written";
}

RewriteOptions WriteOptions(Context& cx, std::string undoWhat) {
    RewriteOptions options;
    options.writeWithoutJournal = [&cx](const NoJournalPlace& e) { return WithoutJournal(cx, e); };
    options.undoWhat = std::move(undoWhat);
    return options;
}

std::string InputName(const std::string& name) {
    return name == "-" ? std::string("standard input") : OneLine(name);
}

std::string ReadInput(Context& cx, const std::string& name) {
    const std::string tooLarge = InputName(name) + ": larger than " +
                                 std::to_string(kMaxInputBytes >> 20) +
                                 " MB, more than tkvhdr reads; nothing was written";
    std::string text;
    if (name == "-") {
        std::vector<char> buffer(1u << 16);
        while (cx.in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
               cx.in.gcount() > 0) {
            text.append(buffer.data(), static_cast<std::size_t>(cx.in.gcount()));
            if (text.size() > kMaxInputBytes) Refuse(cx, tooLarge);
        }
        if (cx.in.bad()) Refuse(cx, "standard input: it could not be read; nothing was written");
        return text;
    }
    RandomAccessFile file(name, RandomAccessFile::Mode::Read);
    if (file.Length() > kMaxInputBytes) Refuse(cx, tooLarge);
    text.resize(static_cast<std::size_t>(file.Length()));
    if (file.Read(text.data(), text.size()) != text.size())
        Refuse(cx, InputName(name) + ": it changed while read; nothing was written");
    return text;
}

std::unique_ptr<CTKVEditorDoc> Open(Context& cx, const std::string& path) {
    auto doc = std::make_unique<CTKVEditorDoc>(cx.messages, cx.permission);
    doc->m_writeWithoutJournal = [&cx](const NoJournalPlace& e) { return WithoutJournal(cx, e); };
    if (!doc->OpenDocumentFile(path)) throw Failed{};
    return doc;
}

void Save(CTKVEditorDoc& doc) {
    if (!doc.DoSave(doc.GetPathName())) throw Failed{};
}

HeaderNode& EntryAt(Context& cx, CTKVEditorDoc& doc, const std::string& path) {
    HeaderNode* node = EntryArguments::Find(*doc.m_pRoot, EntryArguments::SplitPath(path));
    if (!node) Refuse(cx, "No entry '" + path + "' in the Extended Header of " + doc.GetPathName());
    return *node;
}

std::uint32_t TypeArgument(const std::string& name) {
    auto type = EntryArguments::TypeFromName(name);
    if (!type)
        throw EntryArguments::Failure{
            "tkvhdr: unknown type '" + name + "' (" + EntryArguments::TypeNames() + ")", true};
    return *type;
}

}  // namespace Tool
