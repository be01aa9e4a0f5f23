// The verbs of tkvhdr as data: each one's arguments, options, help and the
// function that runs it.

#include "cli/Tool.h"

namespace Tool {

const std::vector<Verb>& Verbs() {
    static const std::vector<Verb> verbs = {
        {"dump",
         1,
         1,
         "print every Extended Header entry",
         "Usage: tkvhdr dump FILE\n"
         "Prints one line per Extended Header entry in walk order (a list before its\n"
         "entries, siblings in label order): PATH<TAB>TYPE<TAB>VALUE, where PATH is the\n"
         "dotted label path, TYPE the type name (List for a list) and VALUE the value in\n"
         "base 10 (empty for a list). Tab, line feed and carriage return in values are\n"
         "written as \\t, \\n and \\r, other control characters as \\xHH, a backslash\n"
         "as \\\\.\n"
         "Example: tkvhdr dump A01.tkv\n",
         {},
         false,
         0,
         Dump},
        {"header",
         1,
         1,
         "print the Standard Header",
         "Usage: tkvhdr header FILE\n"
         "Prints the Standard Header as the editor's viewer shows it, one row a line:\n"
         "LABEL<TAB>VALUE. Times are in UTC.\n"
         "Example: tkvhdr header A01.tkv\n",
         {},
         false,
         0,
         Header},
        {"get",
         2,
         2,
         "print one entry's value",
         "Usage: tkvhdr get [--hex] FILE PATH\n"
         "Prints the value of the entry at PATH as the editor's list shows it (base 10),\n"
         "or with --hex integers in hexadecimal (0x...). A list prints an empty line.\n"
         "Example: tkvhdr get A01.tkv RUN.GAIN\n",
         {{"--hex", &Context::hex}},
         false,
         0,
         Get},
        {"set",
         4,
         4,
         "insert or replace one value",
         "Usage: tkvhdr set FILE PATH TYPE VALUES\n"
         "Sets the value at PATH, inserting it (and the lists on its way) when missing;\n"
         "new labels are stored in upper case. TYPE is one of ascii, unicode, boolean,\n"
         "byte, short, long, float, double. VALUES are comma-separated for the number\n"
         "types and booleans (True/False), and the text itself for ascii and unicode.\n"
         "Example: tkvhdr set A01.tkv RUN.VOLTAGES float 1.5,2.5,3\n",
         {{"--no-journal", &Context::noJournal}},
         true,
         0,
         Set},
        {"delete",
         2,
         2,
         "remove one entry with everything below it",
         "Usage: tkvhdr delete FILE PATH\n"
         "Removes the entry at PATH; a list goes with every entry in it.\n"
         "Example: tkvhdr delete A01.tkv ANALYSIS.PEAKS\n",
         {{"--no-journal", &Context::noJournal}},
         true,
         0,
         Delete},
        {"export",
         1,
         1,
         "write the Extended Header as JSON",
         "Usage: tkvhdr export FILE\n"
         "Writes the whole Extended Header as JSON to standard output: each entry is an\n"
         "object with its \"type\" and its \"entries\" (a list), \"value\" (text) or\n"
         "\"values\" (numbers, booleans). Import gives the same file back.\n"
         "Example: tkvhdr export A01.tkv > A01.json\n",
         {},
         false,
         0,
         Export},
        {"import",
         2,
         2,
         "replace the Extended Header from JSON",
         "Usage: tkvhdr import FILE JSON_FILE\n"
         "Replaces the Extended Header of FILE with the tree in JSON_FILE (- for\n"
         "standard input), in the form export writes. Nothing is written unless the\n"
         "whole JSON is valid.\n"
         "Example: tkvhdr import A01.tkv A01.json\n",
         {{"--no-journal", &Context::noJournal}},
         true,
         0,
         Import},
        {"apply",
         4,
         0,
         "set entries in every sample file of a folder",
         "Usage: tkvhdr apply [--dry-run] FILE PATH TYPE VALUES [PATH TYPE VALUES ...]\n"
         "The editor's \"Edit All Samples in Folder\": the entries are set in every file\n"
         "of FILE's folder with FILE's extension, as the editor's folder-wide Save sets\n"
         "them. A file that stores an entry with another type, or has a value where the\n"
         "path needs a list, keeps its entry. Read-only files are skipped. One line per\n"
         "file, a \"left out:\" line for each name with the extension that is no file to\n"
         "rewrite (a folder, a FIFO, a link out of the folder, a name that became a\n"
         "link or another file after the folder was read), then N updated,\n"
         "N unchanged, N skipped, N failed. A FILE without an extension is rewritten\n"
         "alone. --dry-run writes nothing and says what would change. Exit status 1\n"
         "when any file failed.\n"
         "Example: tkvhdr apply plate7/A01.tkv RUN.GAIN long 5 SAMPLE.BATCH ascii B-17\n",
         {{"--dry-run", &Context::dryRun}, {"--no-journal", &Context::noJournal}},
         true,
         0,
         Apply},
        {"sheet",
         2,
         0,
         "one value per file across a folder, from or to a table",
         "Usage: tkvhdr sheet export FILE PATH... [--format csv|tsv|json]\n"
         "       tkvhdr sheet import [--dry-run] [--keep-going] FILE SHEET\n"
         "export: one row per sample file of FILE's folder with FILE's extension (a file\n"
         "of several names, by links, is one row), the column 'file' (its name) and each\n"
         "PATH's value as the editor's list shows it (empty where the file has none),\n"
         "but Float and Double values with every digit that reads back the same bits.\n"
         "The header gives each column as PATH:TYPE with the stored type (a column whose\n"
         "files disagree stays PATH, and a line says so); a PATH:TYPE argument asks for\n"
         "that type and names each file that stores another. A PATH given twice (in any\n"
         "case), or one inside another, is refused as import refuses it. CSV and TSV as RFC 4180\n"
         "writes them, UTF-8; file names that are not UTF-8, and control characters in\n"
         "them, are written as \\xHH (\\t, \\n, \\r; a backslash as \\\\) in every format.\n"
         "import: SHEET (a .csv, a .tsv, or - for standard input; at most 64 MB) has the\n"
         "header row 'file', then PATH:TYPE columns (TYPE as for set) or PATH columns,\n"
         "which take each file's stored type; so an exported sheet imports as it stands.\n"
         "Each row's non-empty cells are set in that file alone, through the same\n"
         "journalled rewrite as apply; a cell - removes the file's value there (where\n"
         "the file stores the text - itself, the cell is that value).\n"
         "Unknown files, files of the folder without a row, duplicate rows or columns,\n"
         "cells that do not parse (text with a NUL or not UTF-8 included), cells the\n"
         "file would refuse (another type stored there, a path through a value or to a\n"
         "list, a read-only file) and rows of the wrong length are each reported with\n"
         "their row (the line the record begins on) and column, and nothing is written\n"
         "unless --keep-going. Output: a line FILE<TAB>PATH<TAB>OLD<TAB>NEW for each\n"
         "field changed (with --dry-run: that would change), then the file lines and\n"
         "summary of apply.\n"
         "Examples:\n"
         "  tkvhdr sheet export plate7/A01.tkv SAMPLE.WELL SAMPLE.OWNER > s.csv\n"
         "  tkvhdr sheet import --dry-run plate7/A01.tkv s.csv\n",
         {{"--dry-run", &Context::dryRun},
          {"--keep-going", &Context::keepGoing},
          {"--format", nullptr, &Context::format},
          {"--no-journal", &Context::noJournal}},
         false,
         1,
         Sheet},
        {"undo",
         1,
         1,
         "take back the last folder-wide save of a folder",
         "Usage: tkvhdr undo [--list] [--partial] FOLDER\n"
         "Puts the files of FOLDER (or of the folder of a file named instead) back as\n"
         "they were before the newest folder-wide save there: the editor's folder-wide\n"
         "Save, apply or sheet import. The last 10 saves are kept, of all folders; each\n"
         "undo takes back one, newest first. Only a file that still holds exactly what\n"
         "that save wrote is put back; a file changed since, replaced or gone is left\n"
         "alone and named. One line per file (restored, unchanged, left alone, missing,\n"
         "failed), then the counts. --list shows the saves that can be undone, newest\n"
         "first, and changes nothing. Only records of your own that nobody else may\n"
         "write are used; any other is named and left alone. A record whose copy of\n"
         "some files failed at the save lists them and is undone only with --partial,\n"
         "which puts back the others. Exit status 1 when any file was not put back.\n"
         "Example: tkvhdr undo plate7\n",
         {{"--list", &Context::list}, {"--partial", &Context::partial}},
         true,
         0,
         Undo},
        {"resave",
         1,
         1,
         "open the file and save it back, as the editor does",
         "Usage: tkvhdr resave FILE\n"
         "Opens FILE as the editor's Open does and writes its headers back as the\n"
         "editor's Save does. The sample data are never changed.\n"
         "Example: tkvhdr resave A01.tkv\n",
         {{"--no-journal", &Context::noJournal}},
         true,
         0,
         Resave},
        {"example",
         1,
         1,
         "write an example sample file",
         "Usage: tkvhdr example FILE\n"
         "Writes a realistic example sample file (trace data, a version 3.0 Standard\n"
         "Header and an Extended Header with entries of every type) to FILE, which must\n"
         "not exist yet.\n"
         "Example: tkvhdr example demo.tkv\n",
         {},
         false,
         0,
         Example},
    };
    return verbs;
}

}  // namespace Tool
