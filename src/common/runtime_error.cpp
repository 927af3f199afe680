#include "common/runtime_error.h"

#include <cerrno>

namespace wh {

std::string ErrorMessage(int number) {
  switch (number) {
    case 3: return "Return without GoSub";
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 7: return "Out of memory";
    case 9: return "Subscript out of range";
    case 10: return "This array is fixed or temporarily locked";
    case 11: return "Division by zero";
    case 13: return "Type mismatch";
    case 28: return "Out of stack space";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 54: return "Bad file mode";
    case 57: return "Device I/O error";
    case 58: return "File already exists";
    case 61: return "Disk full";
    case 62: return "Input past end of file";
    case 67: return "Too many files";
    case 70: return "Permission denied";
    case 75: return "Path/File access error";
    case 76: return "Path not found";
    case 91: return "Object variable or With block variable not set";
    case 321: return "Invalid file format";
    case 326: return "Resource not found";
    case 380: return "Invalid property value";
    case 481: return "Invalid picture";
    default: return "Application-defined or object-defined error";
  }
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, ErrorMessage(number)) {}

RuntimeError::RuntimeError(int number, const std::string& description)
    : std::runtime_error(description), number_(number), description_(description) {}

int FileErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: return kErrPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kErrPermissionDenied;
    case ENOSPC:
    case EFBIG:  // past the file-size limit: no more room for this file
#ifdef EDQUOT
    case EDQUOT:
#endif
      return kErrDiskFull;
    default: return kErrPathFileAccess;
  }
}

void Raise(int number) { throw RuntimeError(number); }

void Raise(int number, const std::string& description) {
  throw RuntimeError(number, description);
}

}  // namespace wh
