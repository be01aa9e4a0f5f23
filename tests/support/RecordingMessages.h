#pragma once
// A message sink for tests: records every text shown or asked and answers
// questions from a script.

#include <deque>

#include "platform/UserMessages.h"

class RecordingMessages : public UserMessages {
  public:
    void Show(const std::string& text) override { shown.push_back(text); }
    MessageAnswer Ask(const std::string& text, MessageButtons) override {
        asked.push_back(text);
        if (answers.empty()) return MessageAnswer::Cancel;
        MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }

    MessageAnswer AskWithTable(const std::string& text, MessageButtons buttons,
                               const MessageTable& table) override {
        tables.push_back(table);
        return Ask(text, buttons);
    }

    std::vector<MessageTable> tables;  // the table of each AskWithTable, in turn
    std::vector<std::string> shown;
    std::vector<std::string> asked;
    std::deque<MessageAnswer> answers;
};
