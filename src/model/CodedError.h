#pragma once
// The one base of the failures the format, document and tool layers throw: the
// text for the user and a code that says what kind of failure it is, so that a
// caller decides by the code (a usage error, say) and shows the text as it is.

#include <stdexcept>
#include <string>

class CodedError : public std::runtime_error {
  public:
    enum class Code {
        BadHeader,    // a header that cannot be read or written (format)
        BadTable,     // a sheet's text that does not parse (format)
        BadArgument,  // a path, type or value that is refused (document)
        BadUsage,     // malformed arguments: the tool shows its usage (document)
        BadSheet,     // a sheet whose header row gives no columns (document)
        BadJson,      // a JSON document that describes no tree (tool)
        Reported,     // the message has been written already (tool)
    };

    CodedError(Code code, const std::string& text) : std::runtime_error(text), m_code(code) {}
    Code GetCode() const { return m_code; }

  private:
    Code m_code;
};
