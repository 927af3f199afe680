// The Windows layer inside one process: the pictures as the executable's
// resources, the .scr's own resources, the registry store, GDI text, the
// machine services, and the preview window's pixels in a host window of
// this process.
#include <gtest/gtest.h>
#include <windows.h>
#include <winver.h>
// <windows.h> names its own ReplaceFile.
#undef ReplaceFile

#include <clocale>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gfx/dib.h"
#include "gfx/resources.h"
#include "platform/win32/gdi_text.h"
#include "platform/win32/registry_store.h"
#include "platform/win32/win32_saver.h"
#include "platform/win32/win32_system.h"
#include "common/runtime_error.h"
#include "startup/settings.h"
#include "system/files.h"
#include "window/frm_preview.h"
#include "wh_version.h"
#include "win32/win_test_util.h"

namespace {

using namespace wh;
using namespace wh::win32;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The source tree as Wine sees it (its Z: drive is the Unix root).
std::string SourcePath(const std::string& rel) { return std::string("Z:") + WH_SOURCE_DIR + "/" + rel; }

std::wstring BesideMe(const std::wstring& name) {
  wchar_t buf[MAX_PATH];
  GetModuleFileNameW(nullptr, buf, MAX_PATH);
  std::wstring path = buf;
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

using wh::testing::Pump;
using wh::testing::PumpUntil;
using wh::testing::Shown;

TEST(Win32Resources, EveryPictureIsABitmapResourceOfTheSameBytes) {
  // Every picture of the art folder, and no other, is a BITMAP resource that
  // decodes to the same pixels as its file.
  std::vector<int> files;
  for (int id = 100; id < 400; ++id) {
    const std::vector<uint8_t> bmp = ReadFile(SourcePath("resources/bitmaps/" + std::to_string(id) + ".bmp"));
    if (bmp.empty()) continue;
    files.push_back(id);
    SCOPED_TRACE(id);
    ASSERT_TRUE(HasResPicture(id));
    EXPECT_EQ(*LoadResPicture(id), DecodeBmp(bmp.data(), bmp.size()));
    EXPECT_EQ(ResPictureBytes(id).size, bmp.size() - 14);
  }
  ASSERT_GE(files.size(), 60u) << "the art folder was not found at " << SourcePath("resources/bitmaps");
  EXPECT_EQ(ResPictureIds(), files);
  EXPECT_FALSE(HasResPicture(119));
  EXPECT_THROW(LoadResPicture(119), RuntimeError);
}

TEST(Win32Resources, TheScrCarriesVersionNameIconManifestAndPictures) {
  const std::wstring path = BesideMe(L"" WH_SCR_NAME);
  HMODULE scr = LoadLibraryExW(path.c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(scr, nullptr);
  // The version the program reports (wh_version.h) is the file's version.
  std::vector<BYTE> version(GetFileVersionInfoSizeW(path.c_str(), nullptr));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT size = 0;
  ASSERT_TRUE(!version.empty() &&
              GetFileVersionInfoW(path.c_str(), 0, version.size(), version.data()) &&
              VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&info), &size));
  EXPECT_EQ(HIWORD(info->dwFileVersionMS), WH_VERSION_MAJOR);
  EXPECT_EQ(LOWORD(info->dwFileVersionMS), WH_VERSION_MINOR);
  EXPECT_EQ(HIWORD(info->dwFileVersionLS), WH_VERSION_PATCH);
  // The name Windows lists among its screen savers.
  wchar_t name[64] = {};
  EXPECT_EQ(LoadStringW(scr, 1, name, 64), 12);
  EXPECT_STREQ(name, L"WinterHollow");
  EXPECT_NE(FindResourceW(scr, MAKEINTRESOURCEW(100), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */), nullptr);
  HRSRC m = FindResourceW(scr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */);
  ASSERT_NE(m, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(scr, m))),
                             SizeofResource(scr, m));
  EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
  // Runs as its user, so a write it may not make fails instead of landing
  // in a VirtualStore; paths past 260 characters.
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find(">true</longPathAware>"), std::string::npos);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find("supportedOS"), std::string::npos);
  for (int id : {101, 222, 301, 302, 303, 311, 316})
    EXPECT_NE(FindResourceW(scr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2)), nullptr) << id;
  FreeLibrary(scr);
}

class Registry : public ::testing::Test {
 protected:
  // A section of its own, so the user's settings stay untouched.
  const std::string app = "WinterHollowTest";
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\WinterHollowTest"); }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\WinterHollowTest");
    std::setlocale(LC_ALL, "C");
  }
  RegistryStore store;
};

TEST_F(Registry, StoresTextValuesUnderTheUsersSoftwareKey) {
  EXPECT_EQ(store.Get(app, "Settings", "Speed", "5"), "5");  // nothing stored yet
  store.Save(app, "Settings", "Speed", "7.5");
  store.Save(app, "Settings", "Speed", "2");  // replaced, not added
  store.Save(app, "Settings", "Date", "");
  EXPECT_EQ(store.Get(app, "Settings", "Speed", "5"), "2");
  EXPECT_EQ(store.Get(app, "Settings", "Date", "1"), "");
  EXPECT_EQ(store.Get(app, "Other", "Speed", "5"), "5");

  const wchar_t* key = L"Software\\WinterHollowTest\\Settings";
  DWORD type = 0;
  wchar_t text[16] = {};
  DWORD bytes = sizeof text;
  // RRF_NOEXPAND: the stored type as it is (an expandable one would read as REG_SZ).
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, key, L"Speed", RRF_RT_ANY | RRF_NOEXPAND, &type, text,
                         &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(text, L"2");
  // A value of another type (written by hand) counts as missing.
  const DWORD four = 4;
  RegSetKeyValueW(HKEY_CURRENT_USER, key, L"maxFl", REG_DWORD, &four, sizeof four);
  EXPECT_EQ(store.Get(app, "Settings", "maxFl", "110"), "110");
}

TEST_F(Registry, SettingsRoundTripInTheUsersLocale) {
  // Under a decimal comma the store holds "0,53" and reads it back.
  if (!std::setlocale(LC_ALL, "German_Germany.1252")) GTEST_SKIP() << "no German locale";
  // LoadConfig and SaveConfig name the real application: send them to the
  // test's key, so that the user's settings stay untouched.
  struct Redirect : SettingsStore {
    explicit Redirect(RegistryStore& r, std::string a) : reg(r), app(std::move(a)) {}
    std::string Get(const std::string&, const std::string& section, const std::string& key,
                    const std::string& def) override {
      return reg.Get(app, section, key, def);
    }
    void Save(const std::string&, const std::string& section, const std::string& key,
              const std::string& text) override {
      reg.Save(app, section, key, text);
    }
    RegistryStore& reg;
    std::string app;
  } redirect(store, app);
  SetSettingsStore(&redirect);
  LoadConfig();
  SaverSettings.SpeedS = 0.53f;
  SaveConfig();
  EXPECT_EQ(store.Get(app, kSettingsSection, "SpeedS", ""), "0,53");
  SaverSettings = SaverSettingsRecord{};
  LoadConfig();
  EXPECT_EQ(SaverSettings.SpeedS, 0.53f);
  SetSettingsStore(nullptr);
}

// The program's own files on Windows: a crash's leftovers, however many,
// never stop a replacement, and the old ones go; a read-only file stays.
TEST(OwnFiles, LeftoversNeverBlockAReplacementAndOldOnesGo) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  const std::wstring wfolder =
      std::wstring(tmp) + L"wh-files-" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(wfolder.c_str(), nullptr));
  const std::string folder(wfolder.begin(), wfolder.end());
  const std::string target = folder + "\\settings.ini";
  auto put = [](const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  };
  // What earlier versions left: every one of their fixed names taken.
  for (int n = 0; n < 100; ++n) put(target + ".new" + std::to_string(n), "half");
  const std::string stale = folder + "\\" + files::TemporaryName("settings.ini", "stale");
  const std::string fresh = folder + "\\" + files::TemporaryName("settings.ini", "fresh");
  put(stale, "half");
  put(fresh, "half");
  HANDLE h = CreateFileA(stale.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t{};
  t.LowPart = now.dwLowDateTime;
  t.HighPart = now.dwHighDateTime;
  t.QuadPart -= 2ull * 3600 * 10000000;  // two hours ago
  FILETIME old{t.LowPart, t.HighPart};
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &old));
  CloseHandle(h);

  for (int i = 0; i < 3; ++i) files::ReplaceFile(target, "[Settings]\r\nmaxFl=" + std::to_string(i) + "\r\n");
  const std::vector<uint8_t> bytes = ReadFile(target);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "[Settings]\r\nmaxFl=2\r\n");
  EXPECT_EQ(GetFileAttributesA(stale.c_str()), INVALID_FILE_ATTRIBUTES) << "an hour-old leftover goes";
  EXPECT_NE(GetFileAttributesA(fresh.c_str()), INVALID_FILE_ATTRIBUTES) << "a write under way stays";

  // Read-only: the user's wish, not something to replace.
  ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_THROW(files::ReplaceFile(target, "x"), RuntimeError);
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  const std::vector<uint8_t> kept = ReadFile(target);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "[Settings]\r\nmaxFl=2\r\n");

  // The log past its half moves aside.
  ASSERT_TRUE(files::AppendToFile(folder, "w.FLG", std::string(100, 'a'), 150));
  ASSERT_TRUE(files::AppendToFile(folder, "w.FLG", std::string(100, 'b'), 150));
  EXPECT_EQ(ReadFile(folder + "\\w.FLG.1").size(), 100u);
  EXPECT_EQ(ReadFile(folder + "\\w.FLG").size(), 100u);

  std::system(("rmdir /s /q \"" + folder + "\"").c_str());
}

TEST(GdiText, DrawsTheLineInItsColourInsideItsBox) {
  GdiTextRenderer text(96);
  Font font;  // "Comic Sans MS" or the system's stand-in, bold, 9.75 pt
  const double h = text.LineHeight(font);
  EXPECT_GE(h, 12);
  EXPECT_LE(h, 24);
  const double w = text.TextWidth("WinterHollow", font);
  EXPECT_GT(w, 40);
  EXPECT_LT(text.TextWidth("Winter", font), w);

  const uint32_t white = 0x00FFFFFF;
  Image img(200, 40, white);
  text.Draw(img, 10, 5, "WinterHollow", font, 0x800000);  // 0x00BBGGRR: dark blue
  int changed = 0, outside = 0, exact = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const uint32_t p = img.at(x, y);
      if (p == white) continue;
      ++changed;
      if (x < 10 || y < 5 || y >= 5 + h || x > 10 + w + 8) ++outside;
      if (p == PixelFromColour(0x800000)) ++exact;
      // Anti-aliased edges blend blue into white: red and green stay equal.
      EXPECT_EQ((p >> 16) & 0xFF, (p >> 8) & 0xFF) << x << "," << y;
    }
  EXPECT_GT(changed, 50);
  EXPECT_EQ(outside, 0);
  EXPECT_GT(exact, 10);  // the strokes' cores are the colour itself

  // Text past the picture's edges is clipped, not a crash.
  text.Draw(img, -30, -8, "WinterHollow", font, 0);
  text.Draw(img, 190, 35, "WinterHollow", font, 0);
}

TEST(Win32System, AnswersForTheMachine) {
  Win32System sys;
  const platform::OsVersionRecord os = sys.OsVersion();
  EXPECT_EQ(os.platform, 2u);  // Wine and every supported Windows are NT
  EXPECT_TRUE(sys.IsWinNT());
  EXPECT_GE(os.major, 5u);
  const std::string exe = sys.ExecutablePath();
  EXPECT_EQ(exe.substr(exe.size() - 15), "win32_tests.exe");
  EXPECT_NE(exe.find('\\'), std::string::npos);
  const std::string state = sys.StateDir();
  ASSERT_FALSE(state.empty());
  EXPECT_NE(state.back(), '\\');
  EXPECT_NE(GetFileAttributesW(WideFromUtf8(state).c_str()), INVALID_FILE_ATTRIBUTES);
  // The user's formats, whatever they are, name the day and the time.
  const platform::LocalDateTime t {2026, 12, 24, 18, 5, 9};
  EXPECT_NE(sys.ShortDate(t).find("24"), std::string::npos) << sys.ShortDate(t);
  EXPECT_NE(sys.LongTime(t).find("05"), std::string::npos) << sys.LongTime(t);
  const platform::LocalDateTime now = sys.Now();
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(sys.SecondsSinceMidnight(), 0.0f);
  EXPECT_LT(sys.SecondsSinceMidnight(), 86400.0f);
}

TEST(Win32Text, EveryNameWindowsGivesComesBackAsItWas) {
  struct Case {
    std::wstring wide;
    std::string utf8;
  } cases[] = {
      {L"WinterHollow.bmp", "WinterHollow.bmp"},
      {L"H\u00fctte", "H\xc3\xbctte"},
      {L"\u96ea", "\xe9\x9b\xaa"},
      {L"\U0001F3BF", "\xf0\x9f\x8e\xbf"},  // a pair
      // Half pairs, which file names may hold: carried as their own three bytes.
      {std::wstring(1, wchar_t(0xD83C)) + L"x", "\xed\xa0\xbcx"},
      {L"x" + std::wstring(1, wchar_t(0xDFBF)), "x\xed\xbe\xbf"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8FromWide(c.wide), c.utf8);
    EXPECT_EQ(WideFromUtf8(c.utf8), c.wide);
  }
  // Bytes that are no UTF-8: one replacement each, the rest read on.
  EXPECT_EQ(WideFromUtf8("a\xff\xc3"), L"a\uFFFD\uFFFD");
  EXPECT_EQ(WideFromUtf8("\xc0\xaf" "b"), L"\uFFFD\uFFFDb");  // overlong
  EXPECT_EQ(WideFromUtf8("\xe9\x9b"), L"\uFFFD");  // cut short
}

TEST(Win32Files, PathsLongerThanTheOldLimitAndOutsideEveryCodePage) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::string base = Utf8FromWide(temp) + "wh-\xe9\x9b\xaa-\xf0\x9f\x8e\xbf";
  std::string folder = base;
  while (folder.size() < 300) folder += "\\Schnee-H\xc3\xbctte-0123456789abcdef";
  ASSERT_TRUE(files::MakeOwnFolder(folder));
  const std::string path = files::JoinPath(folder, "WinterHollow.bmp");
  files::ReplaceFile(path, "first");
  files::ReplaceFile(path, "second");
  EXPECT_EQ(files::ReadSmallFile(path, 100).value_or(""), "second");
  ASSERT_TRUE(files::AppendToFile(folder, "WinterHollow.FLG", "one\r\n"));
  ASSERT_TRUE(files::AppendToFile(folder, "WinterHollow.FLG", "two\r\n"));
  EXPECT_EQ(files::ReadSmallFile(files::JoinPath(folder, "WinterHollow.FLG"), 100).value_or(""),
            "one\r\ntwo\r\n");
  // Where Windows itself finds them, under the names given.
  const std::wstring wide = L"\\\\?\\" + WideFromUtf8(path);
  EXPECT_NE(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
  // Remove the tree again, deepest first.
  DeleteFileW(wide.c_str());
  DeleteFileW((L"\\\\?\\" + WideFromUtf8(files::JoinPath(folder, "WinterHollow.FLG"))).c_str());
  for (std::string f = folder; f.size() >= base.size(); f = f.substr(0, f.find_last_of('\\')))
    RemoveDirectoryW((L"\\\\?\\" + WideFromUtf8(f)).c_str());
  EXPECT_EQ(GetFileAttributesW(WideFromUtf8(base).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Win32Monitors, EachMonitorWithItsDeviceNameDensityAndPlace) {
  const std::vector<Monitor> mons = ListMonitors();
  ASSERT_EQ(mons.size(), static_cast<size_t>(GetSystemMetrics(SM_CMONITORS)));
  int primaries = 0;
  for (const Monitor& m : mons) {
    SCOPED_TRACE(m.name);
    EXPECT_EQ(m.name.rfind("\\\\.\\DISPLAY", 0), 0u);
    EXPECT_GE(m.dpi, 96);
    EXPECT_GT(m.width, 0);
    EXPECT_GT(m.height, 0);
    if (m.primary) {
      ++primaries;
      // The primary's corner is the desktop's origin.
      EXPECT_EQ(m.x, 0);
      EXPECT_EQ(m.y, 0);
      EXPECT_EQ(m.width, GetSystemMetrics(SM_CXSCREEN));
      EXPECT_EQ(m.height, GetSystemMetrics(SM_CYSCREEN));
    }
  }
  EXPECT_EQ(primaries, 1);
}

// The preview, re-parented into a host window of this process: a visible
// child of the host's client size showing the still stretched over it,
// following the host's size, and gone with the host.
class Preview : public ::testing::Test {
 protected:
  void SetUp() override { host = wh::testing::CreateHost(128, 96); }
  void TearDown() override {
    if (IsWindow(host)) DestroyWindow(host);
  }
  static Image Expected(int cx, int cy) {
    NullFormHost none;
    FrmPreview p(none, PreviewStill());
    p.form.SetSize(cx, cy);
    p.Form_Resize();
    Image img = p.form.image();
    for (uint32_t& v : img.px) v &= 0x00FFFFFF;
    return img;
  }
  HWND host = nullptr;
};

TEST_F(Preview, ShowsTheStillStretchedOverTheHostAndFollowsIt_AndNoneForAHandleThatNamesNone) {
  Win32Modes modes(GetModuleHandleW(nullptr));
  for (int32_t bogus : {0, 12345678, -1, 0x7FFFFFFF}) {
    modes.StartPreview(bogus);
    EXPECT_FALSE(modes.has_windows()) << bogus;
  }
  modes.StartPreview(static_cast<int32_t>(reinterpret_cast<intptr_t>(host)));
  ASSERT_TRUE(modes.has_windows());
  HWND child = nullptr;
  ASSERT_TRUE(PumpUntil(
      5000, [&] { return (child = FindWindowExW(host, nullptr, kPreviewClass, nullptr)); }));
  Pump(100);
  EXPECT_TRUE(IsWindowVisible(child));
  EXPECT_TRUE(GetWindowLongPtrW(child, GWL_STYLE) & WS_CHILD);
  RECT rc;
  GetClientRect(child, &rc);
  EXPECT_EQ(rc.right, 128);
  EXPECT_EQ(rc.bottom, 96);
  const Image half = Shown(child);
  EXPECT_TRUE(half == Expected(128, 96)) << "the still at half size is not what the window shows";

  // The host grows; the preview follows and paints the still squeezed.
  wh::testing::SetClientSize(host, 200, 100);
  PumpUntil(5000, [&] { return GetClientRect(child, &rc) && rc.right == 200 && rc.bottom == 100; });
  Pump(100);
  EXPECT_EQ(rc.right, 200);
  EXPECT_EQ(rc.bottom, 100);
  EXPECT_TRUE(Shown(child) == Expected(200, 100)) << "the squeezed still is not what the window shows";

  DestroyWindow(host);
  Pump(100);
  EXPECT_FALSE(modes.has_windows());
}

}  // namespace
