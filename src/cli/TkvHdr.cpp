#include "cli/TkvHdr.h"

#include <functional>
#include <map>

#include "document/TKVEditorDoc.h"
#include "format/ExampleFile.h"
#include "format/ExtendedHeaderCodec.h"
#include "format/HeaderError.h"
#include "format/HeaderFile.h"
#include "format/StandardHeaderRows.h"
#include "model/HeaderNode.h"
#include "platform/AlreadyReported.h"
#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/TextCodec.h"
#include "platform/UserMessages.h"

namespace {

constexpr const char* kVersion = "3.1";

// Messages go to standard error; the tool asks nothing, so a question is
// answered Cancel.
class StderrMessages : public UserMessages {
  public:
    explicit StderrMessages(std::ostream& err) : m_err(err) {}
    void Show(const std::string& text) override { m_err << text << '\n'; }
    MessageAnswer Ask(const std::string& text, MessageButtons) override {
        m_err << text << '\n';
        return MessageAnswer::Cancel;
    }

  private:
    std::ostream& m_err;
};

// Control characters would break the one-line-per-entry output: tab, line feed
// and carriage return are written as \t, \n, \r, others as \xHH.
std::string OneLine(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        auto u = static_cast<unsigned char>(c);
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (u < 0x20 || u == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else
            out += c;
    }
    return out;
}

struct Context {
    std::ostream& out;
    std::ostream& err;
    StderrMessages messages;
    AllowEditing permission;
};

int Dump(Context& cx, const std::string& path) {
    CTKVEditorDoc doc(cx.messages, cx.permission);
    if (!doc.OpenDocumentFile(path)) return 1;  // the editor's Open
    std::string line;
    std::u16string text;
    HeaderTree::Walk(*doc.m_pRoot, [&](const HeaderNode& node, std::string_view nodePath) {
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

int Header(Context& cx, const std::string& path) {
    RandomAccessFile file(path, RandomAccessFile::Mode::Read);
    StandardHeader record;
    if (!ReadStandardHeader(file, record, false, false, cx.messages)) return 1;
    for (const auto& row : BuildStandardHeaderRows(record))
        cx.out << TextCodec::ToUtf8(row.label) << '\t' << OneLine(TextCodec::ToUtf8(row.value))
               << '\n';
    return 0;
}

int Resave(Context& cx, const std::string& path) {
    CTKVEditorDoc doc(cx.messages, cx.permission);
    if (!doc.OpenDocumentFile(path)) return 1;  // the editor's Open
    return doc.DoSave(path) ? 0 : 1;            // the editor's Save
}

int Example(Context&, const std::string& path) {
    ExampleFile::Write(path);
    return 0;
}

struct Verb {
    const char* name;
    const char* summary;
    const char* help;
    std::function<int(Context&, const std::string&)> run;
};

const std::vector<Verb>& Verbs() {
    static const std::vector<Verb> verbs = {
        {"dump", "print every Extended Header entry",
         "Usage: tkvhdr dump FILE\n"
         "Prints one line per Extended Header entry in walk order (a list before its\n"
         "entries, siblings in label order): PATH<TAB>TYPE<TAB>VALUE, where PATH is the\n"
         "dotted label path, TYPE the type name (List for a list) and VALUE the value in\n"
         "base 10 (empty for a list). Tab, line feed and carriage return in values are\n"
         "written as \\t, \\n and \\r, other control characters as \\xHH.\n",
         Dump},
        {"header", "print the Standard Header",
         "Usage: tkvhdr header FILE\n"
         "Prints the Standard Header as the editor's viewer shows it, one row a line:\n"
         "LABEL<TAB>VALUE. Times are in UTC.\n",
         Header},
        {"resave", "open the file and save it back, as the editor does",
         "Usage: tkvhdr resave FILE\n"
         "Opens FILE as the editor's Open does and writes its headers back as the\n"
         "editor's Save does. The sample data are never changed.\n",
         Resave},
        {"example", "write an example sample file",
         "Usage: tkvhdr example FILE\n"
         "Writes a realistic example sample file (trace data, a version 3.0 Standard\n"
         "Header and an Extended Header with entries of every type) to FILE, which must\n"
         "not exist yet.\n",
         Example},
    };
    return verbs;
}

void Usage(std::ostream& os) {
    os << "Usage: tkvhdr VERB FILE\n"
          "Reads and rewrites the headers of .tkv and .pkv sample data files.\n\nVerbs:\n";
    for (const auto& v : Verbs())
        os << "  " << v.name << std::string(10 - std::string(v.name).size(), ' ') << v.summary
           << '\n';
    os << "\nOptions:\n  --help     this text (after a verb: that verb's help)\n"
          "  --version  the program's version\n";
}

}  // namespace

int RunTkvHdr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        Usage(err);
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        Usage(out);
        return 0;
    }
    if (args[0] == "--version") {
        out << kVersion << '\n';
        return 0;
    }
    const Verb* verb = nullptr;
    for (const auto& v : Verbs())
        if (args[0] == v.name) verb = &v;
    if (!verb) {
        err << "tkvhdr: unknown verb '" << args[0] << "'\n";
        Usage(err);
        return 2;
    }
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        out << verb->help;
        return 0;
    }
    if (args.size() != 2) {
        err << verb->help;
        return 2;
    }
    Context cx{out, err, StderrMessages(err), {}};
    try {
        return verb->run(cx, args[1]);
    } catch (const AlreadyReported&) {
        return 1;  // its message is on standard error already
    } catch (const FileError& e) {
        err << e.what() << '\n';
    } catch (const HeaderError& e) {
        err << args[1] << ": " << e.what() << '\n';
    } catch (const std::bad_alloc&) {
        err << args[1] << ": not enough memory\n";
    }
    return 1;
}
