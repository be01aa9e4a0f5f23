#pragma once
// A failure of the file format layer that has not been shown to the user (for
// example an Extended Header that cannot be encoded). Callers report it.

#include <string>

#include "model/CodedError.h"

class HeaderError : public CodedError {
  public:
    explicit HeaderError(const std::string& text) : CodedError(Code::BadHeader, text) {}
};
