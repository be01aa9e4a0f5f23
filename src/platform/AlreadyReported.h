#pragma once
// A failure whose message has already gone to the user (or would have, had the
// quiet flag not silenced it). Callers must not report it a second time; the text
// is kept so that batch work can still say why a file failed.

#include <exception>
#include <string>

class AlreadyReported : public std::exception {
  public:
    explicit AlreadyReported(std::string message) : m_strMessage(std::move(message)) {}
    const char* what() const noexcept override { return m_strMessage.c_str(); }
    const std::string& Message() const { return m_strMessage; }

  private:
    std::string m_strMessage;
};
