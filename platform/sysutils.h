// The framework's exception classes and decimal conversion as the program and the serial layer
// expect them: Exception with its message, EConvertError from a failed integer conversion,
// EInOutError with its error number, and the out-of-memory error. Portable C++, no OS calls.
#pragma once
#include <exception>
#include <string>

namespace platform {

// Base of every exception the program shows to the user; the message is what a message box shows.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  int HelpContext() const noexcept { return helpContext_; }
  void SetHelpContext(int context) noexcept { helpContext_ = context; }
  const char* what() const noexcept override { return message_.c_str(); }

private:
  std::string message_;
  int helpContext_ = 0;
};

// A text that is not a valid integer: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// A file or device error carrying the operating system's error number.
class EInOutError : public Exception {
public:
  EInOutError(std::string message, int errorCode) : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// Out of memory; always carries the framework's own message.
class EOutOfMemory : public Exception {
public:
  EOutOfMemory() : Exception("Out of memory") {}
};

// Decimal (or "$"/"0x" hexadecimal) text to a 32-bit integer. Leading blanks and one sign are
// accepted; anything else, including an empty text or a value out of range, throws
// EConvertError("'<text>' is not a valid integer value").
int StrToInt(const std::string& text);

}  // namespace platform
