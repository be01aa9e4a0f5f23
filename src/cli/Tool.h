#pragma once
// What the verbs of tkvhdr share: the run's context (its streams, messages and
// options), how each verb declares its arguments, options and help, and the
// steps every verb takes alike (open and save through the document, read an
// input, name a file in one line).

#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "document/InstrumentEditPermission.h"
#include "document/SheetImport.h"
#include "format/HeaderFile.h"
#include "model/CodedError.h"
#include "platform/RewriteJournal.h"
#include "platform/UserMessages.h"

class CTKVEditorDoc;
class HeaderNode;

namespace Tool {

// Messages to standard error, each line once: two steps of one verb (the open
// and the rewrite) may find the same planted file and say so.
class OnceStreamMessages : public StreamMessages {
  public:
    using StreamMessages::StreamMessages;
    void Show(const std::string& text) override;

  private:
    std::set<std::string> m_shown;
};

struct Context {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    OnceStreamMessages messages;  // to standard error: the tool asks nothing
    InstrumentEditPermission permission;
    std::vector<std::string> args;  // the verb's arguments, options removed
    bool hex = false;
    bool dryRun = false;
    bool noJournal = false;              // write without a rewrite journal where none can be kept
    bool keepGoing = false;              // sheet import: write the good rows of a sheet with errors
    std::string format = std::string();  // sheet export: csv, tsv or json
    bool list = false;                   // undo: list the saves instead
    bool partial = false;                // undo: put back what a record lacking files can
};

// A failure whose message has been written; the verb returns 1.
struct Failed : CodedError {
    Failed() : CodedError(Code::Reported, std::string()) {}
};

// An option a verb takes and the field of the context it sets: a flag, or one
// with a value (`--format csv` or `--format=csv`).
struct Option {
    const char* name;
    bool Context::*flag = nullptr;
    std::string Context::*value = nullptr;
};

struct Verb {
    const char* name;
    std::size_t minArgs;
    std::size_t maxArgs;  // 0: no limit
    const char* summary;
    const char* help;  // its first line is the usage line
    std::vector<Option> options;
    // Rewrites sample files: obeys the instrument's configuration, as the
    // editor's editing commands do (unless it only looks: --dry-run, --list).
    bool writes;
    std::size_t fileArgument;  // the argument naming the file in messages, when given
    int (*run)(Context&);
};

// Every verb, in the order the usage lists them (VerbTable.cpp).
const std::vector<Verb>& Verbs();

// One line of output: control characters and bytes that are not UTF-8 escaped,
// alike in every format (TextCodec::Escaped).
std::string OneLine(std::string_view text);
// Writes `message` to standard error and ends the verb (Failed).
[[noreturn]] void Refuse(Context& cx, const std::string& message);
// The refusal of a writing verb where editing is not allowed.
std::string EditingNotAllowed(const std::string& verb);
// The options of a rewrite by `cx` (--no-journal), its undo record named `undoWhat`.
RewriteOptions WriteOptions(Context& cx, std::string undoWhat);

// The most a sheet or a JSON document given to import may hold.
constexpr std::uint64_t kMaxInputBytes = SheetImport::kMaxTextBytes;
// The name of an input for messages: "-" is standard input.
std::string InputName(const std::string& name);
// The whole text of an input named on the command line (- for standard input),
// refused beyond kMaxInputBytes with a message naming it.
std::string ReadInput(Context& cx, const std::string& name);

// Opens the file through the document, as the editor's Open does.
std::unique_ptr<CTKVEditorDoc> Open(Context& cx, const std::string& path);
// Saves through the document, as the editor's Save does.
void Save(CTKVEditorDoc& doc);
// The entry at a dotted path, refused when missing.
HeaderNode& EntryAt(Context& cx, CTKVEditorDoc& doc, const std::string& path);
// A type name argument to its code; an unknown one is a usage error.
std::uint32_t TypeArgument(const std::string& name);

// The verbs on one file's headers (EntryVerbs.cpp).
int Dump(Context& cx);
int Header(Context& cx);
int Get(Context& cx);
int Set(Context& cx);
int Delete(Context& cx);
int Export(Context& cx);
int Import(Context& cx);
int Resave(Context& cx);
int Example(Context& cx);
// The verbs on every file of a folder (FolderVerbs.cpp, SheetVerbs.cpp).
int Apply(Context& cx);
int Undo(Context& cx);
int Sheet(Context& cx);

}  // namespace Tool
