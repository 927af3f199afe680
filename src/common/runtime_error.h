// Run-time errors with the classic numbers and messages. Every failure the
// program's own procedures can meet is raised as one of these and travels to
// the error trap of the procedure it happened in.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace wh {

// The error numbers the program raises.
enum ErrNo : int {
  kErrInvalidCall = 5,       // "Invalid procedure call or argument"
  kErrOverflow = 6,          // "Overflow"
  kErrOutOfMemory = 7,       // "Out of memory"
  kErrSubscript = 9,         // "Subscript out of range"
  kErrDivisionByZero = 11,   // "Division by zero"
  kErrTypeMismatch = 13,     // "Type mismatch"
  kErrFileNotFound = 53,     // "File not found"
  kErrDiskFull = 61,         // "Disk full"
  kErrPermissionDenied = 70, // "Permission denied"
  kErrPathFileAccess = 75,   // "Path/File access error"
  kErrPathNotFound = 76,     // "Path not found"
  kErrObjectNotSet = 91,     // "Object variable or With block variable not set"
  kErrInvalidFileFormat = 321,  // "Invalid file format"
  kErrResourceNotFound = 326,  // "Resource with identifier '...' not found"
  kErrInvalidProperty = 380, // "Invalid property value"
  kErrInvalidPicture = 481,  // "Invalid picture"
};

// The standard message text of an error number ("Application-defined or
// object-defined error" for numbers without one of their own).
std::string ErrorMessage(int number);

class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(int number);
  RuntimeError(int number, const std::string& description);

  int number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  int number_;
  std::string description_;
};

// The run-time error for a failed file operation's errno: missing folder
// "Path not found", no access "Permission denied", no space "Disk full",
// anything else "Path/File access error".
int FileErrorFromErrno(int err);

[[noreturn]] void Raise(int number);
[[noreturn]] void Raise(int number, const std::string& description);

}  // namespace wh
