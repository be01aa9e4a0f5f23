#pragma once
// The window's messages: modal message boxes titled with the application's name,
// and the wait cursor as an override cursor.

#include <QPointer>
#include <QWidget>

#include "platform/UserMessages.h"

class QtUserMessages : public UserMessages {
  public:
    explicit QtUserMessages(QString title) : m_strTitle(std::move(title)) {}
    void SetParent(QWidget* parent) { m_pParent = parent; }
    void Show(const std::string& text) override;
    MessageAnswer Ask(const std::string& text, MessageButtons buttons) override;
    // A dialog with the table above the question and the question's buttons.
    MessageAnswer AskWithTable(const std::string& text, MessageButtons buttons,
                               const MessageTable& table) override;
    // The object name of that dialog (tests find it by it).
    static constexpr const char* kTableQuestion = "TableQuestion";
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

  private:
    QString m_strTitle;
    QPointer<QWidget> m_pParent;
};
