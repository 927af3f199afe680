// The controls the dialogs work with. Each platform implements them over its
// own toolkit; the dialog code never sees a toolkit type.
//
// Setting a value from code must not call back into the dialog: the dialog
// raises its own change and click events for changes it makes. A toolkit
// calls the dialog's handler only for what the user did.
#pragma once

#include <cstdint>
#include <string>

namespace wh::dialogs {

class ScrollBar {
 public:
  virtual ~ScrollBar() = default;
  virtual int Value() const = 0;
  virtual void SetValue(int value) = 0;
  virtual void SetEnabled(bool enabled) = 0;
};

// A scroll bar's range, its arrow (small) and track (large) steps, and the
// value it holds before the dialog sets one.
struct ScrollRange {
  int min, max;
  int small_change, large_change;
  int design_value;
};

// What the user asks of a scroll bar, named as Windows names them: "up" is
// towards the minimum (left on a horizontal bar, top on a vertical one).
// Every toolkit's bars answer keys, clicks and the wheel through these, so
// that the same action moves them the same way everywhere:
//   Up, Left, the up/left arrow, one wheel notch away from the user: kLineUp
//   Down, Right, the down/right arrow, one notch towards the user: kLineDown
//   Page Up, a click in the track before the thumb: kPageUp
//   Page Down, a click in the track after the thumb: kPageDown
//   Home: kTop; End: kBottom
enum class ScrollAction { kLineUp, kLineDown, kPageUp, kPageDown, kTop, kBottom };

// The value after `action` from `value`, inside the bar's range.
int Scrolled(const ScrollRange& bar, int value, ScrollAction action);

// Wheel turns, gathered until they make whole notches: a smooth wheel or a
// touchpad reports fractions of a notch, and each whole notch is one line.
class WheelNotches {
 public:
  // `notches` turned away from the user (negative: towards). Returns the
  // whole notches to act on now, with the same sign; keeps the rest. A turn
  // the other way drops what was kept.
  int Add(double notches);

 private:
  double pending_ = 0;
};

// Value 0 clear, 1 checked, 2 greyed (neither).
class CheckBox {
 public:
  virtual ~CheckBox() = default;
  virtual int Value() const = 0;
  virtual void SetValue(int value) = 0;
  // "&" marks the access key; lines are separated by CR LF.
  virtual void SetCaption(const std::string& caption) = 0;
};

class Label {
 public:
  virtual ~Label() = default;
  virtual std::string Caption() const = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  // Text colour, 0x00BBGGRR.
  virtual void SetForeColor(int32_t bbggrr) = 0;
};

class Button {
 public:
  virtual ~Button() = default;
  virtual void SetVisible(bool visible) = 0;
};

// The dialog's own window.
class Window {
 public:
  virtual ~Window() = default;
  // Closes the dialog (without running anything of the dialog's again).
  virtual void Unload() = 0;
  // Shows the information dialog modally; returns when it has been closed.
  virtual void ShowInfoModal() = 0;
  // Tells the user of a failure in a modal message over the dialog, with an
  // OK button; returns when it has been closed.
  virtual void ShowFailure(const std::string& text) = 0;
  // Hands a document or address to the desktop, as the shell's "open" does.
  // `show` is the window show mode (1 normal). The result is not checked.
  virtual void ShellExecuteFile(const std::string& operation, const std::string& file,
                                const std::string& parameters, const std::string& directory,
                                int show) = 0;
};

}  // namespace wh::dialogs
