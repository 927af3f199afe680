#include "dialogs/frm_config.h"

#include <cstring>

#include "common/numtext.h"
#include "errors/trap.h"

namespace wh::dialogs {

namespace {
constexpr int32_t kBlack = 0x000000;
constexpr int32_t kLightGrey = 0xC0C0C0;
// A check box holds 0 (clear), 1 (checked) or 2 (greyed).
constexpr int kCheckMax = 2;
}  // namespace

const std::vector<OptionRow>& OptionRows() {
  static const std::vector<OptionRow> rows = {
      {"Date / Datum", &SaverSettingsRecord::Date},
      {"Time/ Uhrzeit", &SaverSettingsRecord::Time},
      {"Restart / Neustart", &SaverSettingsRecord::Restart},
      {"Show Snowman / Schneemann anzeigen", &SaverSettingsRecord::Snowman},
      {"Save last picture as wallpaper", &SaverSettingsRecord::Wallpaper},
      {"Sharp landscape / Scharfe Landschaft", &SaverSettingsRecord::Sharp},
  };
  return rows;
}

const ScrollRange* BarOf(const LayoutItem& item) {
  if (std::strcmp(item.name, "HScroll") == 0) return &kSpeedBar;
  if (std::strcmp(item.name, "vscTime") == 0) return &kTimeBar;
  return nullptr;
}

// The shown values use 0.5556, not 1 / 1.8: with it every stored density
// opens again at the position it was stored from.
Int16 ShownValue(int index, const SaverSettingsRecord& s) {
  switch (index) {
    case 0:
      return Round16((s.maxFl - 20) * 0.5556);
    case 1:
      return Round16((static_cast<double>(s.SpeedF) - 2) * 12.5);
    case 2:
      return Round16((static_cast<double>(s.Size) - 2) * 12.5);
    case 3:
      return Round16((static_cast<double>(s.SpeedS) - 0.03) * 100);
    case 4:
      return Round16((static_cast<double>(s.SpeedO) - 2) * 12.5);
    case 5:
      return Round16(static_cast<double>(s.Speed) * 10);
  }
  Raise(kErrSubscript);
}

void StoreValue(int index, Int16 v, SaverSettingsRecord& s) {
  switch (index) {
    case 0:
      s.maxFl = Round16(v * 1.8 + 20);
      return;
    case 1:
      s.SpeedF = static_cast<float>(v * 0.08 + 2);
      return;
    case 2:
      s.Size = static_cast<float>(v * 0.08 + 2);
      return;
    case 3:
      s.SpeedS = static_cast<float>(v * 0.01 + 0.03);
      return;
    case 4:
      s.SpeedO = static_cast<float>(v * 0.08 + 2);
      return;
    case 5:
      s.Speed = static_cast<float>(v * 0.1);
      return;
  }
  Raise(kErrSubscript);
}

void frmConfig::SetScroll(ScrollBar& bar, Int16 value) {
  if (value < kSpeedBar.min || value > kSpeedBar.max) Raise(kErrInvalidProperty);
  bar.SetValue(value);
}

void frmConfig::SetTime(Int16 value) {
  if (value < kTimeBar.min || value > kTimeBar.max) Raise(kErrInvalidProperty);
  const bool changed = c_.vscTime->Value() != value;
  c_.vscTime->SetValue(value);
  if (changed) vscTime_Change();
}

void frmConfig::SetOption(int index, Int16 value) {
  if (value < 0 || value > kCheckMax) Raise(kErrInvalidProperty);
  CheckBox& box = *c_.chkOpt.at(index);
  const bool changed = box.Value() != value;
  box.SetValue(value);
  if (changed) chkOpt_Click(index);
}

void frmConfig::Form_Load() {
  Trap trap("frmConfig", "Form_Load");
  const SaverSettingsRecord& s = SaverSettings;
  const auto& rows = OptionRows();
  for (int i = 0; i < kScrollBars; ++i) {
    STMT(SetScroll(*c_.HScroll[i], ShownValue(i, s)));
  }
  for (int i = 0; i <= kRestartOption; ++i) {
    STMT(SetOption(i, s.*rows[i].field));
  }
  Int32 minutes;
  STMT(minutes = IntDiv(s.rTime, Int32(60)));
  // "##": no leading zeros, nothing for 0.
  STMT(c_.lblTime->SetCaption(minutes == 0 ? "" : IntegerToText(minutes)));
  STMT(SetTime(Int16(100 - minutes)));
  for (int i = kRestartOption + 1; i < static_cast<int>(rows.size()); ++i) {
    STMT(SetOption(i, s.*rows[i].field));
  }
  STMT(c_.chkOpt.at(kWallpaperOption)->SetCaption(kWallpaperCaption));
}

void frmConfig::chkOpt_Click(int Index) {
  Trap trap("frmConfig", "chkOpt_Click");
  if (c_.chkOpt.at(kRestartOption)->Value() == 0) {
    STMT(c_.vscTime->SetEnabled(false));
    STMT(c_.lblTime->SetForeColor(kLightGrey));
  } else {
    STMT(c_.vscTime->SetEnabled(true));
    STMT(c_.lblTime->SetForeColor(kBlack));
  }
}

void frmConfig::vscTime_Change() {
  Trap trap("frmConfig", "vscTime_Change");
  STMT(c_.lblTime->SetCaption(IntegerToText(100 - Int16(c_.vscTime->Value()))));
}

void frmConfig::cmdReset_Click() {
  Trap trap("frmConfig", "cmdReset_Click");
  for (int i = 0; i < kScrollBars; ++i) {
    STMT(SetScroll(*c_.HScroll[i], Int16(kSpeedBar.design_value)));
  }
  for (int i = 0; i <= kRestartOption; ++i) {
    STMT(SetOption(i, Int16(1)));
  }
  STMT(c_.lblTime->SetCaption(IntegerToText(100 - kTimeBar.design_value)));
  STMT(SetTime(Int16(kTimeBar.design_value)));
}

void frmConfig::cmdOK_Click() {
  Trap trap("frmConfig", "cmdOK_Click");
  SaverSettingsRecord& s = SaverSettings;
  const auto& rows = OptionRows();
  for (int i = 0; i < kScrollBars; ++i) {
    STMT(StoreValue(i, Int16(c_.HScroll[i]->Value()), s));
  }
  for (int i = 0; i <= kRestartOption; ++i) {
    STMT(s.*rows[i].field = Int16(c_.chkOpt.at(i)->Value()));
  }
  STMT(s.rTime = Round32(Val(c_.lblTime->Caption()) * 60));
  for (int i = kRestartOption + 1; i < static_cast<int>(rows.size()); ++i) {
    STMT(s.*rows[i].field = Int16(c_.chkOpt.at(i)->Value()));
  }
  // A save that failed keeps the dialog open with the user's values in it,
  // and says where the settings should have gone and why they could not.
  std::string failure;
  bool saved = false;
  STMT(saved = SaveConfig(&failure));
  if (!saved) {
    STMT(c_.window->ShowFailure(failure));
    return;
  }
  STMT(c_.window->Unload());
}

void frmConfig::cmdInfo_Click() {
  Trap trap("frmConfig", "cmdInfo_Click");
  STMT(c_.window->ShowInfoModal());
}

void frmConfig::cmdHomepage_Click() {
  Trap trap("frmConfig", "cmdhomepage_Click");
  STMT(c_.window->ShellExecuteFile("Open", kHomepage, "", "", 1));
}

}  // namespace wh::dialogs
