// The driver of tkvhdr: picks the verb, takes the options it declares, checks
// its arguments and permission, runs it and turns its failure into a message
// and the exit status. The verbs themselves are in VerbTable.cpp and the files
// of their subjects.

#include "cli/TkvHdr.h"

#include <sstream>

#include "cli/Tool.h"
#include "document/EntryArguments.h"
#include "format/HeaderError.h"
#include "platform/AlreadyReported.h"
#include "platform/FileError.h"
#include "platform/RandomAccessFile.h"

namespace {

using namespace Tool;

constexpr const char* kVersion = "3.1";

void Usage(std::ostream& os) {
    os << "Usage: tkvhdr VERB [OPTIONS] FILE [ARGUMENTS]\n"
          "Reads and changes the headers of .tkv and .pkv sample data files.\n\nVerbs:\n";
    for (const auto& v : Verbs())
        os << "  " << v.name << std::string(10 - std::string(v.name).size(), ' ') << v.summary
           << '\n';
    os << "\nOptions:\n  --help     this text (after a verb: that verb's help)\n"
          "  --version  the program's version\n"
          "  --no-journal  (writing verbs) where no rewrite journal can be kept, write\n"
          "             without one instead of refusing: an interruption may then\n"
          "             damage the file\n";
}

// The first line of a verb's help: its usage line.
std::string UsageLine(const Verb& v) {
    std::string help = v.help;
    return help.substr(0, help.find('\n'));
}

// What the command line asks of the verb beyond its arguments.
enum class Parsed { Run, Help, BadUsage };

// Takes the verb's options from `args` into `cx` and the rest as its
// arguments; "--" ends the options.
Parsed TakeOptions(const Verb& verb, const std::vector<std::string>& args, Context& cx) {
    bool optionsDone = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsDone && (a == "--help" || a == "-h")) return Parsed::Help;
        if (!optionsDone && a == "--") {
            optionsDone = true;
            continue;
        }
        if (optionsDone || a.size() <= 2 || a.rfind("--", 0) != 0) {
            cx.args.push_back(a);
            continue;
        }
        const Option* option = nullptr;
        std::string value;
        for (const auto& o : verb.options) {
            const std::string name = o.name;
            if (a == name) {
                option = &o;
            } else if (o.value && a.rfind(name + "=", 0) == 0) {
                option = &o;
                value = a.substr(name.size() + 1);
            }
        }
        if (!option) {
            cx.err << "tkvhdr " << verb.name << ": unknown option '" << a << "'\n"
                   << UsageLine(verb) << '\n';
            return Parsed::BadUsage;
        }
        if (option->flag) {
            cx.*option->flag = true;
        } else if (a == option->name) {
            if (i + 1 >= args.size()) {
                cx.err << UsageLine(verb) << '\n';
                return Parsed::BadUsage;
            }
            cx.*option->value = args[++i];
        } else {
            cx.*option->value = value;
        }
    }
    return Parsed::Run;
}

}  // namespace

int RunTkvHdr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              std::istream& in) {
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
    Context cx{
        out, err, in, OnceStreamMessages(err), InstrumentEditPermission::FromSystemSettings(), {}};
    switch (TakeOptions(*verb, args, cx)) {
        case Parsed::Help:
            out << verb->help;
            return 0;
        case Parsed::BadUsage:
            return 2;
        case Parsed::Run:
            break;
    }
    if (cx.args.size() < verb->minArgs || (verb->maxArgs && cx.args.size() > verb->maxArgs)) {
        err << UsageLine(*verb) << '\n';
        return 2;
    }
    const std::string& file =
        cx.args.size() > verb->fileArgument ? cx.args[verb->fileArgument] : cx.args[0];
    // A file another writer holds is waited for a few seconds; the user hears why.
    RandomAccessFile::SetLockWaitNotice([&err](const std::string& path) {
        err << path << " is being written by another program; waiting for it...\n";
    });
    struct NoticeReset {
        ~NoticeReset() { RandomAccessFile::SetLockWaitNotice({}); }
    } resetNotice;
    if (verb->writes && !cx.dryRun && !cx.list && !cx.permission.IsEditAllowed()) {
        err << EditingNotAllowed(verb->name) << '\n';
        return 1;
    }
    try {
        return verb->run(cx);
    } catch (const Failed&) {
        return 1;  // its message is on standard error already
    } catch (const EntryArguments::Failure& f) {
        err << f.what() << '\n';
        if (f.Usage()) err << UsageLine(*verb) << '\n';
        return f.Usage() ? 2 : 1;
    } catch (const AlreadyReported&) {
        return 1;
    } catch (const FileError& e) {
        err << e.what() << '\n';
    } catch (const HeaderError& e) {
        err << file << ": " << e.what() << '\n';
    } catch (const std::bad_alloc&) {
        err << file << ": not enough memory\n";
    }
    return 1;
}

int RunTkvHdr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::istringstream none;
    return RunTkvHdr(args, out, err, none);
}
