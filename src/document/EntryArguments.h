#pragma once
// Entries as scripts name them on the command line: a dotted path, a type name
// and the values as text, checked the way the editor's dialogs check them.

#include <optional>
#include <string>
#include <vector>

#include "model/CodedError.h"
#include "model/HeaderElement.h"

class HeaderNode;

class EntryArguments {
  public:
    // A refused argument with the message for the user; `usage` marks
    // malformed arguments.
    class Failure : public CodedError {
      public:
        explicit Failure(const std::string& text, bool usage = false)
            : CodedError(usage ? Code::BadUsage : Code::BadArgument, text) {}
        bool Usage() const { return GetCode() == Code::BadUsage; }
    };

    // "ascii", "unicode", "boolean", "byte", "short", "long", "float", "double"
    // (any letter case) to the type code.
    static std::optional<std::uint32_t> TypeFromName(const std::string& name);
    static const char* TypeNames() {
        return "ascii, unicode, boolean, byte, short, long, float, double";
    }

    // VALUES (UTF-8) as a value of `type`, parsed as the Number dialog parses,
    // except that reals are read exactly (HeaderElement::Reals::Exact): what a
    // sheet or a script gives back is stored to the bit, subnormal numbers too.
    static HeaderElement ParseValues(const std::string& values, std::uint32_t type);

    // The labels of a dotted path, narrowed to 8 bits; empty labels and characters
    // the code page cannot hold are refused.
    static std::vector<std::string> SplitPath(const std::string& path);

    // The entry at the path, or null.
    static HeaderNode* Find(HeaderNode& root, const std::vector<std::string>& labels);

    // Sets `value` at the path as the editor's commands would: missing lists are
    // inserted and a missing leaf too, with their labels in upper case; an existing
    // leaf gets the new value and keeps its label, each by EntryEdit's rule with
    // `pending` as the folder-edit mode. A path through a value, or to a list, is
    // refused.
    static void SetAtPath(HeaderNode& root, const std::string& path, HeaderElement value,
                          bool pending);
};
