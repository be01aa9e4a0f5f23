#pragma once
// A failure of the file format layer that has not been shown to the user (for
// example an Extended Header that cannot be encoded). Callers report it.

#include <stdexcept>
#include <string>

class HeaderError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
