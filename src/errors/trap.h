// The error trap every procedure of the program arms on entry.
//
//   void Foo() {
//     Trap trap("frmMain", "Foo");
//     if (!trap([&] { first statement; })) return;
//     if (!trap([&] { second statement; })) return;
//   }
//
// A run-time error inside a statement goes to the error reporter, and the
// trap acts on the continuation code it returns:
//   0 retry the statement, 1 skip to the next one, 2 leave the procedure,
//   3 end the program at once; any other code leaves the procedure.
//
// Retrying is bounded: a statement that fails again on its retry is not
// reported a second time and is skipped, so one failing statement costs one
// protocol and one beep, never an endless loop. (The reporter adds a second
// bound of its own for errors that recur across many statements or ticks.)
#pragma once

#include <new>
#include <string>

#include "common/runtime_error.h"

namespace wh {

enum Continuation : int {
  kRetry = 0,
  kSkip = 1,
  kLeave = 2,
  kEnd = 3,
};

class Trap {
 public:
  Trap(const char* module, const char* procedure) : module_(module), procedure_(procedure) {}
  Trap(const Trap&) = delete;
  Trap& operator=(const Trap&) = delete;

  // Runs one statement under the trap. Returns false once the procedure has
  // to be left; every later call then does nothing and returns false too.
  template <typename Statement>
  bool operator()(Statement&& statement) {
    if (left_) return false;
    for (int attempt = 0;; ++attempt) {
      int code;
      try {
        statement();
        return true;
      } catch (const RuntimeError& e) {
        if (attempt > 0) return true;
        code = Report(e);
      } catch (const std::bad_alloc&) {
        if (attempt > 0) return true;
        code = Report(RuntimeError(kErrOutOfMemory));
      }
      if (code == kRetry) continue;
      if (code == kSkip) return true;
      if (code == kEnd) EndProgram();
      left_ = true;
      return false;
    }
  }

  bool left() const { return left_; }
  const char* module() const { return module_; }
  const char* procedure() const { return procedure_; }

 private:
  int Report(const RuntimeError& e);
  [[noreturn]] static void EndProgram();

  const char* module_;
  const char* procedure_;
  bool left_ = false;
};

// One statement under the trap named `trap` in scope, leaving the (void)
// procedure when the trap says so:  STMT(y = y + Zz(2, 10));
#define STMT(...)                              \
  do {                                         \
    if (!trap([&] { __VA_ARGS__; })) return;   \
  } while (0)

// The same inside a procedure part that reports "leave" by returning false.
#define STMT_OR_FALSE(...)                           \
  do {                                               \
    if (!trap([&] { __VA_ARGS__; })) return false;   \
  } while (0)

// Runs a statement and ignores any run-time error in it: the few routines
// that skip a failing statement instead of reporting it use this.
template <typename Statement>
void IgnoreErrors(Statement&& statement) {
  try {
    statement();
  } catch (const RuntimeError&) {
  }
}

}  // namespace wh
