#pragma once
// The program's general exception class. Every error class of the program derives from it
// directly and carries a message text; ClassName() names the class for reports such as
// iffc's "EIffReader: <message>" on standard error.

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  const std::string Message() const { return what(); }
  virtual const char* ClassName() const noexcept { return "Exception"; }
};

// Declares an error class derived from Exception that reports its own name.
// Name is a class name, not an expression: it cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define TESSAVOR_DECLARE_EXCEPTION(Name)                              \
  class Name : public Exception {                                     \
  public:                                                             \
    using Exception::Exception;                                       \
    const char* ClassName() const noexcept override { return #Name; } \
  }
// NOLINTEND(bugprone-macro-parentheses)

// A file could not be opened, read, written or closed (the runtime's input/output error).
TESSAVOR_DECLARE_EXCEPTION(EInOutError);
// A typed or scripted text is not a valid number (the runtime's conversion error).
TESSAVOR_DECLARE_EXCEPTION(EConvertError);
