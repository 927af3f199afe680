// The settings dialog: edits every field of the settings record with six
// scroll bars, the option check boxes and the restart interval, and stores
// them only on OK.
#pragma once

#include <array>
#include <vector>

#include "common/numeric.h"
#include "dialogs/controls.h"
#include "dialogs/layout.h"
#include "startup/settings.h"

namespace wh::dialogs {

// The maker's home page, opened by "WWW...".
constexpr const char* kHomepage = "https://winterhollow.example/";

// The six speed and snowflake scroll bars.
constexpr int kScrollBars = 6;
inline constexpr ScrollRange kSpeedBar{1, 100, 5, 20, 50};
// The interval bar: minutes = 100 - value, one minute a step either way.
inline constexpr ScrollRange kTimeBar{1, 99, 1, 1, 90};
// The range of a scroll bar of the settings layout ("HScroll" or
// "vscTime"); nullptr for any other control.
const ScrollRange* BarOf(const LayoutItem& item);
// Option boxes start checked, so that loading a cleared Restart raises the
// click that greys the interval.
constexpr int kOptionDesignValue = 1;

// The option check boxes, in index order: their captions and the flag each
// edits. Another option is another row here and in the layout table.
struct OptionRow {
  const char* caption;
  Int16 SaverSettingsRecord::*field;
};
const std::vector<OptionRow>& OptionRows();
// The option that switches the restart interval on and off.
constexpr int kRestartOption = 2;
// The wallpaper option's caption, set on opening: two lines.
constexpr const char* kWallpaperCaption =
    "Save last picture as wallpaper\r\nLetztes Bild als Hintergrundbild speichern";
constexpr int kWallpaperOption = 4;

// Scroll-bar position <-> setting, by scroll-bar index. Shown raises
// "Overflow" when the setting maps outside 16 bits; Store writes the field.
Int16 ShownValue(int index, const SaverSettingsRecord& s);
void StoreValue(int index, Int16 value, SaverSettingsRecord& s);

struct ConfigControls {
  std::array<ScrollBar*, kScrollBars> HScroll{};
  std::vector<CheckBox*> chkOpt;  // one per OptionRows() row
  ScrollBar* vscTime = nullptr;
  Label* lblTime = nullptr;
  Window* window = nullptr;
};

class frmConfig {
 public:
  explicit frmConfig(ConfigControls controls) : c_(std::move(controls)) {}

  // Fills the controls from SaverSettings.
  void Form_Load();
  // Any option box changed: the restart interval follows the Restart box.
  void chkOpt_Click(int Index);
  // The interval bar changed: the minutes label follows it.
  void vscTime_Change();
  // Puts the default values into the controls (stores nothing).
  void cmdReset_Click();
  // Stores the controls into SaverSettings, saves them, closes the dialog;
  // when they cannot be saved it says why and stays open.
  void cmdOK_Click();
  void cmdInfo_Click();
  void cmdHomepage_Click();

 private:
  // Setting values from code: a value outside the control's range is
  // "Invalid property value"; a changed value raises the control's event.
  void SetScroll(ScrollBar& bar, Int16 value);
  void SetTime(Int16 value);
  void SetOption(int index, Int16 value);

  ConfigControls c_;
};

}  // namespace wh::dialogs
