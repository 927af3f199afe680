#include "dialogs/layout.h"

#include <cmath>
#include <cstring>
#include <iterator>

namespace wh::dialogs {

namespace {

constexpr int32_t kWhite = 0xFFFFFF;
constexpr int32_t kLightGrey = 0xC0C0C0;

// clang-format off
// The small bold "-" and "+" under the ends of a scroll bar.
#define WH_MINUS(idx, frame, left, top) \
  {"Label1", idx, Kind::kLabel, "-", frame, {left, top, 300, 225}, Align::kLeft, true, 8.25}
#define WH_PLUS(idx, frame, left, top) \
  {"Label2", idx, Kind::kLabel, "+", frame, {left, top, 300, 225}, Align::kRight, true, 8.25}

const LayoutItem kConfigItems[] = {
    {"Frame", 0, Kind::kFrame, "General speed / Grundtempo", -1, {120, 120, 5625, 855}},
    {"HScroll", 5, Kind::kHScroll, "", 0, {240, 360, 5100, 255}},
    WH_MINUS(2, 0, 300, 600),
    WH_PLUS(2, 0, 5000, 600),

    {"Frame", 1, Kind::kFrame, "Snowflakes / Schneeflocken", -1, {120, 1080, 2715, 2655}},
    {"Label3", 0, Kind::kLabel, "Density / Dichte", 1, {240, 360, 1815, 255}},
    {"HScroll", 0, Kind::kHScroll, "", 1, {240, 600, 2200, 200}},
    WH_MINUS(1, 1, 300, 840),
    WH_PLUS(1, 1, 2100, 840),
    {"Label3", 1, Kind::kLabel, "Speed / Tempo", 1, {240, 1080, 1815, 255}},
    {"HScroll", 1, Kind::kHScroll, "", 1, {240, 1320, 2200, 200}},
    WH_MINUS(0, 1, 300, 1560),
    WH_PLUS(0, 1, 2100, 1560),
    {"Label3", 2, Kind::kLabel, "Size / Größe", 1, {240, 1800, 1815, 255}},
    {"HScroll", 2, Kind::kHScroll, "", 1, {240, 2040, 2200, 200}},
    WH_MINUS(3, 1, 300, 2280),
    WH_PLUS(3, 1, 2100, 2280),

    {"Frame", 4, Kind::kFrame, "Cloud speed / Wolken-Tempo", -1, {3000, 1080, 2745, 855}},
    {"HScroll", 3, Kind::kHScroll, "", 4, {240, 360, 2200, 200}},
    WH_MINUS(4, 4, 300, 600),
    WH_PLUS(4, 4, 2100, 600),

    {"Frame", 7, Kind::kFrame, "Object speed / Objekt-Tempo", -1, {3000, 2160, 2745, 855}},
    {"HScroll", 4, Kind::kHScroll, "", 7, {240, 360, 2200, 200}},
    WH_MINUS(7, 7, 240, 600),
    WH_PLUS(7, 7, 2100, 600),

    {"Frame", 8, Kind::kFrame, "Options / Optionen", -1, {120, 3840, 5595, 2415}},
    {"chkOpt", 0, Kind::kCheckBox, "Date / Datum", 8, {240, 360, 2000, 255}},
    {"chkOpt", 1, Kind::kCheckBox, "Time/ Uhrzeit", 8, {240, 840, 2000, 255}},
    {"chkOpt", 2, Kind::kCheckBox, "Restart / Neustart", 8, {3000, 360, 2000, 255}},
    {"Label4", -1, Kind::kLabel, "after / nach", 8, {3120, 600, 855, 255}},
    {"lblTime", -1, Kind::kLabel, "", 8, {4080, 600, 375, 255}, Align::kRight, false, 0, kWhite},
    {"vscTime", -1, Kind::kVScroll, "", 8, {4440, 600, 255, 255}},
    {"Label5", -1, Kind::kLabel, "Min.", 8, {4800, 600, 375, 255}},
    {"chkOpt", 3, Kind::kCheckBox, "Show Snowman / Schneemann anzeigen", 8, {3000, 960, 2000, 375}},
    {"chkOpt", 4, Kind::kCheckBox, "Save last picture as wallpaper", 8, {240, 1320, 5115, 615}},
    // Beyond the classic options: one more row, the frame and the form grow.
    {"chkOpt", 5, Kind::kCheckBox, "Sharp landscape / Scharfe Landschaft", 8, {240, 1980, 5115, 255}},

    {"cmdReset", -1, Kind::kButton, "&Default Standard", -1, {6120, 240, 1200, 1000}},
    {"cmdInfo", -1, Kind::kPictureButton, "&Info...", -1, {6120, 2400, 1200, 1000},
     Align::kCenter, false, 0, -1, 311},
    {"cmdHomepage", -1, Kind::kPictureButton, "&WWW...", -1, {6120, 3480, 1200, 1000},
     Align::kCenter, false, 0, -1, 313},
    {"cmdOK", -1, Kind::kPictureButton, "&OK", -1, {6120, 4560, 1200, 1000}, Align::kCenter,
     false, 0, -1, 315},
};

#undef WH_MINUS
#undef WH_PLUS

const LayoutItem kInfoItems[] = {
    {"Image2", -1, Kind::kImage, "", -1, {0, 0, 5340, 4935}, Align::kLeft, false, 0, -1, 303},
    {"Label", 0, Kind::kLabel, "", -1, {840, 1200, 3732, 320}, Align::kCenter, true, 12, kWhite},
    {"cmdOK", -1, Kind::kButton, "&OK", -1, {3120, 3960, 615, 495}, Align::kCenter, false, 0,
     kLightGrey},
};
// clang-format on

}  // namespace

const LayoutItem* FormLayout::Find(const char* name, int index) const {
  for (const LayoutItem& item : *this) {
    if (std::strcmp(item.name, name) == 0 && item.index == index) return &item;
  }
  return nullptr;
}

Rect FormLayout::OnForm(const LayoutItem& item) const {
  Rect r = item.rect;
  if (item.frame >= 0) {
    const LayoutItem* frame = Find("Frame", item.frame);
    r.left += frame->rect.left;
    r.top += frame->rect.top;
  }
  return r;
}

const FormLayout& ConfigLayout() {
  static const FormLayout layout{"Winter Hollow  ---  Settings / Einstellungen...", 7620, 6375,
                                 kConfigItems, std::size(kConfigItems)};
  return layout;
}

const FormLayout& InfoLayout() {
  static const FormLayout layout{"WinterHollow", 5340, 4935, kInfoItems, std::size(kInfoItems)};
  return layout;
}

int TwipsToPixels(int twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

}  // namespace wh::dialogs
