// The settings and information dialogs against fake controls: what opening
// shows, what OK stores, and how stored values the controls cannot show
// reach the error trap.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <clocale>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/numtext.h"
#include "dialogs/frm_config.h"
#include "dialogs/frm_info.h"
#include "dialogs/layout.h"
#include "fake_system.h"
#include "platform/posix/ini_store.h"

namespace wh::dialogs {
namespace {

using wh::testing::WithFakeSystem;

struct FakeScroll : ScrollBar {
  explicit FakeScroll(int v) : value(v) {}
  int Value() const override { return value; }
  void SetValue(int v) override { value = v; }
  void SetEnabled(bool e) override { enabled = e; }
  int value;
  bool enabled = true;
};

struct FakeCheck : CheckBox {
  int Value() const override { return value; }
  void SetValue(int v) override { value = v; }
  void SetCaption(const std::string& c) override { caption = c; }
  int value = kOptionDesignValue;
  std::string caption;
};

struct FakeLabel : Label {
  std::string Caption() const override { return caption; }
  void SetCaption(const std::string& c) override { caption = c; }
  void SetForeColor(int32_t c) override { color = c; }
  std::string caption;
  int32_t color = 0;
};

struct FakeButton : Button {
  void SetVisible(bool v) override { visible = v; }
  bool visible = false;
};

struct FakeWindow : Window {
  void Unload() override { ++unloads; }
  void ShowInfoModal() override { ++infos; }
  void ShowFailure(const std::string& text) override { failures.push_back(text); }
  void ShellExecuteFile(const std::string& op, const std::string& file, const std::string& params,
                        const std::string& dir, int show) override {
    if (fail_shell) Raise(kErrFileNotFound);
    shell.push_back(op + "|" + file + "|" + params + "|" + dir + "|" + std::to_string(show));
  }
  int unloads = 0, infos = 0;
  std::vector<std::string> failures;
  bool fail_shell = false;
  std::vector<std::string> shell;
};

// One settings dialog on fake controls, in their design state.
struct ConfigDialog {
  ConfigDialog() : frm(Controls()) {}
  ConfigControls Controls() {
    ConfigControls c;
    for (int i = 0; i < kScrollBars; ++i) c.HScroll[i] = &h[i];
    for (auto& box : chk) c.chkOpt.push_back(&box);
    c.vscTime = &vsc;
    c.lblTime = &lbl;
    c.window = &win;
    return c;
  }
  std::vector<int> Bars() const {
    std::vector<int> v;
    for (const auto& b : h) v.push_back(b.value);
    return v;
  }
  FakeScroll h[kScrollBars] = {FakeScroll(50), FakeScroll(50), FakeScroll(50),
                               FakeScroll(50), FakeScroll(50), FakeScroll(50)};
  FakeCheck chk[6];
  FakeScroll vsc{kTimeBar.design_value};
  FakeLabel lbl;
  FakeWindow win;
  frmConfig frm;
};

class Dialogs : public WithFakeSystem {
 protected:
  void SetUp() override {
    WithFakeSystem::SetUp();
    SetSettingsStore(&store);
    LoadConfig();
  }
  std::string Stored(const char* key) { return store.Get(kAppName, kSettingsSection, key, "-"); }
  MemorySettingsStore store;
};

constexpr int32_t kGrey = 0xC0C0C0;

// Every position of every bar, and every minute, survives OK, the store and
// opening again; the stored text is plain digits in the stored ranges.
TEST_F(Dialogs, EveryPositionRoundTripsThroughOkAndTheStore) {
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, locale)) continue;
    for (int p = 1; p <= 100; ++p) {
      ConfigDialog d;
      for (auto& bar : d.h) bar.value = p;
      const int minutes = (p - 1) % 99 + 1;
      d.vsc.value = 100 - minutes;
      d.frm.vscTime_Change();
      d.frm.cmdOK_Click();
      EXPECT_EQ(d.win.unloads, 1);
      const SaverSettingsRecord& s = SaverSettings;
      EXPECT_GE(s.maxFl, 22);
      EXPECT_LE(s.maxFl, 200);
      EXPECT_EQ(s.SpeedF, static_cast<float>(p * 0.08 + 2));
      EXPECT_EQ(s.SpeedS, static_cast<float>(p * 0.01 + 0.03));
      EXPECT_EQ(s.Speed, static_cast<float>(p * 0.1));
      EXPECT_EQ(s.rTime, minutes * 60);
      for (const char* key : {"SpeedF", "Size", "SpeedS", "SpeedO", "Speed", "maxFl", "rTime"}) {
        EXPECT_EQ(Stored(key).find_first_of("eE"), std::string::npos) << key << "=" << Stored(key);
      }
      SaverSettings = SaverSettingsRecord{};
      LoadConfig();
      ConfigDialog again;
      again.frm.Form_Load();
      EXPECT_EQ(again.Bars(), std::vector<int>(6, p)) << "position " << p << " " << locale;
      EXPECT_EQ(again.vsc.value, 100 - minutes);
      EXPECT_EQ(again.lbl.caption, std::to_string(minutes));
    }
    std::setlocale(LC_NUMERIC, old.c_str());
  }
  EXPECT_EQ(Protocols(), 0);
}

// Both toolkits move their bars through Scrolled: up and left lower the
// value, down and right raise it, and nothing leaves the range.
TEST(ScrollBars, ActionsMoveAsAWindowsScrollBarDoes) {
  using A = ScrollAction;
  struct Case {
    const ScrollRange& bar;
    int from;
    A action;
    int to;
  } cases[] = {
      {kSpeedBar, 50, A::kLineUp, 45}, {kSpeedBar, 50, A::kLineDown, 55},
      {kSpeedBar, 50, A::kPageUp, 30}, {kSpeedBar, 50, A::kPageDown, 70},
      {kSpeedBar, 50, A::kTop, 1},     {kSpeedBar, 50, A::kBottom, 100},
      {kSpeedBar, 3, A::kLineUp, 1},   {kSpeedBar, 97, A::kLineDown, 100},
      {kSpeedBar, 15, A::kPageUp, 1},  {kSpeedBar, 90, A::kPageDown, 100},
      {kSpeedBar, 1, A::kLineUp, 1},   {kSpeedBar, 100, A::kPageDown, 100},
      {kTimeBar, 90, A::kLineUp, 89},  {kTimeBar, 90, A::kLineDown, 91},
      {kTimeBar, 90, A::kPageUp, 89},  {kTimeBar, 90, A::kPageDown, 91},
      {kTimeBar, 90, A::kTop, 1},      {kTimeBar, 90, A::kBottom, 99},
      {kTimeBar, 1, A::kLineUp, 1},    {kTimeBar, 99, A::kPageDown, 99},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Scrolled(c.bar, c.from, c.action), c.to)
        << c.bar.max << " from " << c.from << " action " << static_cast<int>(c.action);
  }
}

TEST(ScrollBars, WheelTurnsActByWholeNotches) {
  struct Case {
    const char* what;
    std::vector<double> turns;
    std::vector<int> acted;
  } cases[] = {
      {"whole notches", {1, -1, 2, -3}, {1, -1, 2, -3}},
      {"tenths add up",
       {0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1},
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
      {"a remainder is kept", {1.5, 0.5, 0.25}, {1, 1, 0}},
      {"turning back drops it", {0.75, -0.5, -0.5}, {0, 0, -1}},
      {"and back again", {-0.75, 0.5, 0.5}, {0, 0, 1}},
  };
  for (const Case& c : cases) {
    WheelNotches wheel;
    std::vector<int> acted;
    for (double t : c.turns) acted.push_back(wheel.Add(t));
    EXPECT_EQ(acted, c.acted) << c.what;
  }
}

// The toolkits build their bars from the ranges; a bar at its design value
// before Form_Load stays put for the defaults, so no change event runs.
TEST_F(Dialogs, TheBarsRangesAreTheLayoutsAndTheDefaultsOpenAtTheDesignValues) {
  int bars = 0;
  for (const LayoutItem& item : ConfigLayout()) {
    const ScrollRange* bar = BarOf(item);
    const bool is_bar = item.kind == Kind::kHScroll || item.kind == Kind::kVScroll;
    EXPECT_EQ(bar != nullptr, is_bar) << item.name;
    if (!bar) continue;
    ++bars;
    EXPECT_EQ(bar, item.kind == Kind::kHScroll ? &kSpeedBar : &kTimeBar) << item.name;
  }
  EXPECT_EQ(bars, kScrollBars + 1);
  for (int i = 0; i < kScrollBars; ++i) {
    EXPECT_EQ(ShownValue(i, SaverSettings), kSpeedBar.design_value) << i;
  }
  EXPECT_EQ(100 - static_cast<int>(SaverSettings.rTime) / 60, kTimeBar.design_value);

  ConfigDialog d;
  d.frm.Form_Load();
  EXPECT_EQ(d.Bars(), std::vector<int>(6, 50));
  for (const auto& box : d.chk) EXPECT_EQ(box.value, 1);
  EXPECT_EQ(d.vsc.value, 90);
  EXPECT_EQ(d.lbl.caption, "10");
  EXPECT_TRUE(d.vsc.enabled);
  EXPECT_EQ(d.lbl.color, 0);
  EXPECT_EQ(d.chk[4].caption,
            "Save last picture as wallpaper\r\nLetztes Bild als Hintergrundbild speichern");
  EXPECT_EQ(Protocols(), 0);
  EXPECT_TRUE(store.values().empty()) << "opening stores nothing";
}

TEST_F(Dialogs, OkStoresTheDesignValuesAsTheDefaultsAndTheEndsOfTheRanges) {
  struct Case {
    int bar;
    const char* stored[6];  // maxFl, SpeedF, Size, SpeedS, SpeedO, Speed
  } cases[] = {
      {50, {"110", "6", "6", "0.53", "6", "5"}},
      {1, {"22", "2.08", "2.08", "0.04", "2.08", "0.1"}},
      {100, {"200", "10", "10", "1.03", "10", "10"}},
  };
  for (const Case& c : cases) {
    ConfigDialog d;
    d.frm.Form_Load();
    for (auto& bar : d.h) bar.value = c.bar;
    d.frm.cmdOK_Click();
    const char* keys[] = {"maxFl", "SpeedF", "Size", "SpeedS", "SpeedO", "Speed"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Stored(keys[i]), c.stored[i]) << keys[i] << c.bar;
    EXPECT_EQ(Stored("rTime"), "600");
  }
}

TEST_F(Dialogs, OpeningAndOkMoveOffGridValuesToTheGrid) {
  SaverSettings.maxFl = 111;  // shown as 51, stored as 112
  SaverSettings.rTime = 90;   // 1 minute, stored as 60
  SaverSettings.Snowman = 0;
  ConfigDialog d;
  d.frm.Form_Load();
  EXPECT_EQ(d.h[0].value, 51);
  EXPECT_EQ(d.lbl.caption, "1");
  EXPECT_EQ(d.vsc.value, 99);
  d.frm.cmdOK_Click();
  EXPECT_EQ(Stored("maxFl"), "112");
  EXPECT_EQ(Stored("rTime"), "60");
  EXPECT_EQ(Stored("Snowman"), "0");
}

// OK that cannot save keeps the dialog and the user's values, and says
// which file and why; once the file can be written, OK saves and closes.
TEST_F(Dialogs, OkThatCannotSaveStaysOpenAndNamesTheFileAndTheReason) {
  platform::IniFileStore ini(dir.path() + "/config");
  SetSettingsStore(&ini);
  const std::string path = ini.FilePath(kAppName);
  SaverSettings = DefaultSettings();
  ASSERT_TRUE(SaveConfig());
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);  // the user made it read-only
  const std::string before = testing::ReadFile(path);
  ConfigDialog d;
  d.frm.Form_Load();
  d.h[0].value = 100;
  d.frm.cmdOK_Click();
  EXPECT_EQ(d.win.unloads, 0) << "the dialog stays open";
  EXPECT_EQ(d.win.failures,
            std::vector<std::string>{"The settings could not be saved to " + path +
                                     ": Permission denied."});
  EXPECT_EQ(testing::ReadFile(path), before);
  EXPECT_EQ(Protocols(), 1);
  EXPECT_EQ(d.h[0].value, 100) << "what the user chose is still there";

  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  d.frm.cmdOK_Click();
  EXPECT_EQ(d.win.unloads, 1);
  EXPECT_EQ(d.win.failures.size(), 1u);
  EXPECT_NE(testing::ReadFile(path).find("maxFl=200\n"), std::string::npos);
}

TEST_F(Dialogs, TheIntervalFollowsTheRestartBox) {
  SaverSettings.Restart = 0;
  ConfigDialog d;
  d.frm.Form_Load();
  EXPECT_FALSE(d.vsc.enabled) << "a cleared Restart greys the interval from the start";
  EXPECT_EQ(d.lbl.color, kGrey);

  d.chk[0].value = 0;  // another box re-applies the same rule
  d.frm.chkOpt_Click(0);
  EXPECT_FALSE(d.vsc.enabled);
  d.chk[2].value = 1;
  d.frm.chkOpt_Click(2);
  EXPECT_TRUE(d.vsc.enabled);
  EXPECT_EQ(d.lbl.color, 0);
  d.chk[2].value = 2;  // greyed is not clear
  d.frm.chkOpt_Click(2);
  EXPECT_TRUE(d.vsc.enabled);
}

TEST_F(Dialogs, TheMinutesBarIsInverted) {
  ConfigDialog d;
  d.frm.Form_Load();
  for (auto [value, label, seconds] :
       {std::tuple{1, "99", "5940"}, {99, "1", "60"}, {90, "10", "600"}}) {
    d.vsc.value = value;
    d.frm.vscTime_Change();
    EXPECT_EQ(d.lbl.caption, label);
    d.frm.cmdOK_Click();
    EXPECT_EQ(Stored("rTime"), seconds);
  }
  // OK reads the label's leading number, whatever follows it.
  for (auto [caption, seconds] : {std::pair{"", "0"}, {"12 Min", "720"}, {"x", "0"}}) {
    d.lbl.caption = caption;
    d.frm.cmdOK_Click();
    EXPECT_EQ(Stored("rTime"), seconds) << caption;
  }
}

TEST_F(Dialogs, DefaultResetsAllButSnowmanAndWallpaperAndStoresNothing) {
  SaverSettings.Date = 0;
  SaverSettings.Restart = 0;
  SaverSettings.Snowman = 0;
  SaverSettings.Wallpaper = 0;
  SaverSettings.rTime = 1200;
  SaverSettings.Speed = 1;
  ConfigDialog d;
  d.frm.Form_Load();
  d.h[3].value = 77;
  d.frm.cmdReset_Click();
  EXPECT_EQ(d.Bars(), std::vector<int>(6, 50));
  EXPECT_EQ(d.chk[0].value, 1);
  EXPECT_EQ(d.chk[2].value, 1);
  EXPECT_TRUE(d.vsc.enabled) << "checking Restart raised its click";
  EXPECT_EQ(d.chk[3].value, 0);
  EXPECT_EQ(d.chk[4].value, 0);
  EXPECT_EQ(d.vsc.value, 90);
  EXPECT_EQ(d.lbl.caption, "10");
  EXPECT_TRUE(store.values().empty());
  EXPECT_EQ(d.win.unloads, 0);
}

// Stored values the controls cannot show are "Invalid property value" (or
// "Overflow" past 16 bits) in Form_Load; the trap reports each once and the
// rest of the dialog still opens.
TEST_F(Dialogs, OutOfRangeStoredValuesReachTheTrap) {
  struct Case {
    const char* what;
    void (*set)(SaverSettingsRecord&);
    int error;
  } cases[] = {
      {"maxFl 300", [](SaverSettingsRecord& s) { s.maxFl = 300; }, 380},
      {"maxFl 20", [](SaverSettingsRecord& s) { s.maxFl = 20; }, 380},
      {"maxFl -32768", [](SaverSettingsRecord& s) { s.maxFl = -32768; }, 6},
      {"SpeedF 1e6", [](SaverSettingsRecord& s) { s.SpeedF = 1e6f; }, 6},
      {"SpeedS NaN", [](SaverSettingsRecord& s) { s.SpeedS = std::nanf(""); }, 6},
      {"Speed 0", [](SaverSettingsRecord& s) { s.Speed = 0; }, 380},
      {"Date -1", [](SaverSettingsRecord& s) { s.Date = -1; }, 380},
      {"Wallpaper 3", [](SaverSettingsRecord& s) { s.Wallpaper = 3; }, 380},
      {"rTime 30", [](SaverSettingsRecord& s) { s.rTime = 30; }, 380},
      {"rTime 100 min", [](SaverSettingsRecord& s) { s.rTime = 6000; }, 380},
      {"rTime huge", [](SaverSettingsRecord& s) { s.rTime = 2000000000; }, 6},
  };
  for (const Case& c : cases) {
    ErrScribe::Instance().Reset();
    std::remove((dir.path() + "/winterhollow.FLG").c_str());
    LoadConfig();
    c.set(SaverSettings);
    ConfigDialog d;
    d.frm.Form_Load();
    EXPECT_EQ(Protocols(), 1) << c.what;
    const std::string log = Log();
    EXPECT_NE(log.find("\t" + std::to_string(c.error) + " ("), std::string::npos) << c.what;
    EXPECT_NE(log.find("Modul:\tfrmConfig\r\n"), std::string::npos) << c.what;
    EXPECT_NE(log.find("Prozedur / procedure:\tForm_Load\r\n"), std::string::npos) << c.what;
    EXPECT_EQ(d.chk[4].caption.substr(0, 30), "Save last picture as wallpaper") << c.what;
    // OK stores the bars inside their ranges and the minutes as shown.
    d.frm.cmdOK_Click();
    SaverSettings = SaverSettingsRecord{};
    LoadConfig();
    EXPECT_GE(SaverSettings.maxFl, 22) << c.what;
    EXPECT_LE(SaverSettings.maxFl, 200) << c.what;
    EXPECT_EQ(SaverSettings.rTime, static_cast<int>(Val(d.lbl.caption)) * 60) << c.what;
  }
}

TEST_F(Dialogs, InfoHomepageAndTheInformationDialog) {
  ConfigDialog d;
  d.frm.cmdInfo_Click();
  EXPECT_EQ(d.win.infos, 1);
  d.frm.cmdHomepage_Click();
  ASSERT_EQ(d.win.shell.size(), 1u);
  EXPECT_EQ(d.win.shell[0], "Open|https://winterhollow.example/|||1");
  EXPECT_EQ(Protocols(), 0);
  d.win.fail_shell = true;
  d.frm.cmdHomepage_Click();
  EXPECT_NE(Log().find("Prozedur / procedure:\tcmdhomepage_Click\r\n"), std::string::npos);

  // The information dialog shows the program's version; OK closes it.
  EXPECT_EQ(VersionText({1, 0, 12}), "WinterHollow  1.00.0012");
  EXPECT_EQ(VersionText({2, 1, 0}), "WinterHollow  2.01.0000");
  EXPECT_EQ(VersionText({10, 123, 123456}), "WinterHollow  10.123.123456");
  FakeLabel label;
  FakeButton ok;
  frmInfo info({&label, &ok, &d.win});
  info.Form_Load();
  EXPECT_EQ(label.caption, VersionText(Version()));
  EXPECT_TRUE(ok.visible);
  info.cmdOK_Click();
  EXPECT_EQ(d.win.unloads, 1);
}

// Every control the dialog code drives has a place, every child lies inside
// its frame, and the frames and buttons inside the form.
TEST(DialogLayout, EveryControlFitsItsContainer) {
  const FormLayout& cfg = ConfigLayout();
  for (int i = 0; i < kScrollBars; ++i) EXPECT_NE(cfg.Find("HScroll", i), nullptr) << i;
  for (size_t i = 0; i < OptionRows().size(); ++i) {
    const LayoutItem* box = cfg.Find("chkOpt", static_cast<int>(i));
    ASSERT_NE(box, nullptr) << i;
    EXPECT_STREQ(box->caption, OptionRows()[i].caption);
  }
  for (const char* name : {"lblTime", "vscTime", "cmdReset", "cmdInfo", "cmdHomepage", "cmdOK"}) {
    EXPECT_NE(cfg.Find(name), nullptr) << name;
  }
  for (const FormLayout* form : {&ConfigLayout(), &InfoLayout()}) {
    for (const LayoutItem& item : *form) {
      Rect outer{0, 0, form->width, form->height};
      if (item.frame >= 0) {
        const LayoutItem* frame = form->Find("Frame", item.frame);
        ASSERT_NE(frame, nullptr) << item.name;
        outer = {0, 0, frame->rect.width, frame->rect.height};
      }
      const Rect& r = item.rect;
      EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.left + r.width <= outer.width &&
                  r.top + r.height <= outer.height)
          << item.name << "(" << item.index << ")";
    }
  }
  const Rect ok = cfg.OnForm(*cfg.Find("chkOpt", 2));
  EXPECT_EQ(ok.left, 3120);
  EXPECT_EQ(ok.top, 4200);
  EXPECT_EQ(TwipsToPixels(7620, 96), 508);
  EXPECT_EQ(TwipsToPixels(7620, 192), 1016);
}

}  // namespace
}  // namespace wh::dialogs
