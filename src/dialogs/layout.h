// Where the dialogs' controls sit, in twips (1/1440 inch), as one table per
// dialog. Every platform builds its dialog from these tables and scales them
// to its screen; positions are relative to the container (a frame or the
// form), as the controls are nested.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wh::dialogs {

enum class Kind {
  kFrame,    // a group box with a caption
  kHScroll,  // horizontal scroll bar
  kVScroll,  // vertical scroll bar
  kLabel,    // static text
  kCheckBox,
  kButton,         // a push button with text
  kPictureButton,  // a push button with a picture above its caption
  kImage,          // a picture stretched over its rectangle
};

enum class Align { kLeft, kRight, kCenter };

struct Rect {
  int left, top, width, height;
};

struct LayoutItem {
  const char* name;  // the control's name
  int index;         // its index in its control array, -1 when it is none
  Kind kind;
  const char* caption;  // "&" marks the access key
  int frame;            // index of the Frame it sits in, -1 for the form
  Rect rect;            // twips, relative to the container
  Align align = Align::kLeft;
  bool bold = false;
  double points = 0;        // font size, 0 for the dialog's own
  int32_t back_color = -1;  // 0x00BBGGRR, -1 for the dialog's own
  int picture = 0;          // picture id (its one-bit mask is id + 1 on buttons)
};

struct FormLayout {
  const char* caption;
  int width, height;  // client area, twips
  const LayoutItem* items;
  size_t count;

  const LayoutItem* begin() const { return items; }
  const LayoutItem* end() const { return items + count; }
  // The control of that name and index; nullptr when there is none.
  const LayoutItem* Find(const char* name, int index = -1) const;
  // The item's rectangle relative to the form.
  Rect OnForm(const LayoutItem& item) const;
};

// The settings dialog, in tab order.
const FormLayout& ConfigLayout();
// The information dialog.
const FormLayout& InfoLayout();

// 1440 twips to the inch: twips to pixels at `dpi` dots per inch, rounded.
int TwipsToPixels(int twips, double dpi);

}  // namespace wh::dialogs
