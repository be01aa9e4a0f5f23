#pragma once
// The one channel through which the program speaks to its user: plain messages
// and questions. The window shows message boxes, the command-line tool writes to
// standard error, and tests record the texts and script the answers.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

enum class MessageButtons { Ok, YesNo, YesNoCancel, ReloadSaveAnywayCancel };
enum class MessageAnswer { Ok, Yes, No, Cancel, Reload, SaveAnyway };

// Rows of text under column headings (UTF-8): what an action is about to do,
// shown with the question that asks for it.
struct MessageTable {
    std::vector<std::string> headings;
    std::vector<std::vector<std::string>> rows;
};

class UserMessages {
  public:
    virtual ~UserMessages() = default;
    // Shows `text` (UTF-8) with an OK button.
    virtual void Show(const std::string& text) = 0;
    // Asks `text` and returns the button chosen.
    virtual MessageAnswer Ask(const std::string& text, MessageButtons buttons) = 0;
    // Asks `text` under `table` (a channel that cannot show a table asks the text alone).
    virtual MessageAnswer AskWithTable(const std::string& text, MessageButtons buttons,
                                       const MessageTable& table) {
        (void)table;
        return Ask(text, buttons);
    }
    // Shows and takes back the busy indicator around synchronous file work.
    virtual void BeginWaitCursor() {}
    virtual void EndWaitCursor() {}
};

// Shows nothing and answers every question with Cancel: for work that reports
// its failures in its results instead (and for benchmarks).
class SilentMessages : public UserMessages {
  public:
    void Show(const std::string&) override {}
    MessageAnswer Ask(const std::string&, MessageButtons) override { return MessageAnswer::Cancel; }
};

// Writes every message, and every question, to a stream (standard error of a
// program that shows no window) and answers Cancel.
class StreamMessages : public UserMessages {
  public:
    explicit StreamMessages(std::ostream& out) : m_out(out) {}
    void Show(const std::string& text) override { m_out << text << '\n'; }
    MessageAnswer Ask(const std::string& text, MessageButtons) override {
        m_out << text << '\n';
        return MessageAnswer::Cancel;
    }

  private:
    std::ostream& m_out;
};

// Shows the busy indicator for its lifetime.
class CWaitCursor {
  public:
    explicit CWaitCursor(UserMessages& messages) : m_messages(messages) {
        m_messages.BeginWaitCursor();
    }
    ~CWaitCursor() { m_messages.EndWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

  private:
    UserMessages& m_messages;
};

// A message text with its one placeholder ("%hs", "%s" or "%d") replaced by
// `value` (UTF-8).
inline std::string FormatMessage(std::string_view format, std::string_view value) {
    std::string text(format);
    for (std::string_view placeholder : {"%hs", "%s", "%d"})
        if (auto at = text.find(placeholder); at != std::string::npos)
            return text.replace(at, placeholder.size(), value);
    return text;
}

// Shows the message unless `quiet`; used by the file readers, whose batch callers
// (the folder-wide edit) silence them.
inline void ShowUnlessQuiet(UserMessages& messages, bool quiet, const std::string& text) {
    if (!quiet) messages.Show(text);
}
