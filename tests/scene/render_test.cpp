// winterhollow-render: its command line, and whole scenes with the real
// pictures pinned by pixel hash.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <tuple>
#include <utility>

#include "gfx/png.h"
#include "gfx/resources.h"
#include "scene_test_util.h"
#include "startup/options.h"
#include "test_support/sanitizers.h"
#include "tools/render/render.h"
#include "tools/render/render_options.h"

namespace wh::testing {
namespace {

std::string UsageErrorOf(const std::vector<std::string>& args) {
  try {
    ParseRenderOptions(args);
  } catch (const UsageError& e) {
    return e.what();
  }
  return "";
}

TEST(RenderOptions, ReadsEveryOptionAndNamesTheBadOne) {
  RenderOptions o = ParseRenderOptions({"-o", "a.png"});
  EXPECT_EQ(o.width, 1024);
  EXPECT_EQ(o.height, 768);
  EXPECT_FALSE(o.seed.has_value());
  o = ParseRenderOptions({"--seed", "18446744073709551615", "--size=1280x720", "--set",
                          "snowman=0", "--set", "Size=2.5", "--stages", "d", "-o", "x.png"});
  EXPECT_EQ(*o.seed, 18446744073709551615u);
  EXPECT_EQ(o.width, 1280);
  EXPECT_EQ(o.height, 720);
  ASSERT_EQ(o.settings.size(), 2u);
  EXPECT_EQ(o.settings[0], (std::pair<std::string, std::string>{"Snowman", "0"}));
  EXPECT_EQ(o.stages, "d");
  EXPECT_TRUE(ParseRenderOptions({"--help"}).help);
  EXPECT_TRUE(ParseRenderOptions({"--version"}).version) << "needs no output file";
  // The help lists every settings key with the dialog's range, and --set takes each.
  const std::string help = RenderHelp();
  for (const SettingOption& k : SettingOptions()) {
    EXPECT_NE(help.find(std::string(k.key) + " "), std::string::npos) << k.key;
    EXPECT_NE(help.find(RangeText(k)), std::string::npos) << k.key;
    const RenderOptions set = ParseRenderOptions({"--set", std::string(k.key) + "=1", "-o", "x"});
    EXPECT_EQ(set.settings.size(), 1u);
  }

  const std::pair<std::vector<std::string>, std::string> bad[] = {
      {{"--seed", "abc", "-o", "x"}, "--seed"},
      {{"--seed", "-1", "-o", "x"}, "--seed"},
      {{"--seed", "18446744073709551616", "-o", "x"}, "--seed"},
      {{"--size", "0x768", "-o", "x"}, "--size"},
      {{"--size", "-5x10", "-o", "x"}, "--size"},
      {{"--size", "1024", "-o", "x"}, "--size"},
      {{"--size", "20000x10", "-o", "x"}, "--size"},
      {{"--set", "Colour=1", "-o", "x"}, "Colour"},
      {{"--set", "maxFl=many", "-o", "x"}, "maxFl"},
      {{"--set", "maxFl=40000", "-o", "x"}, "maxFl"},
      {{"--set", "Snowman", "-o", "x"}, "--set"},
      {{"--frobnicate", "-o", "x"}, "--frobnicate"},
      {{"-o"}, "-o"},
      {{"--seed", "7"}, "-o"},
      {{"--frames", "many", "-o", "x"}, "--frames"},
      {{"--wallpaper", "--stages", "d"}, "--wallpaper"},
      {{"--every", "0", "--frames", "4", "--out-pattern", "f%d.png"}, "--every"},
      {{"--frames", "4", "--out-pattern", "f.png"}, "--out-pattern"},
      {{"--frames", "4", "--out-pattern", "f%d-%d.png"}, "--out-pattern"},
      {{"--frames", "4", "--out-pattern", "f%s.png"}, "--out-pattern"},
      {{"--frames", "4", "--out-pattern", "f%10d.png"}, "--out-pattern"},
      {{"--frames", "4", "--out-pattern", "f%d%"}, "--out-pattern"},
      {{"--frames", "1", "--every", "2", "--out-pattern", "f%d.png"}, "--every"},
      {{"--frames", "4", "--skip", "4", "--out-pattern", "f%d.png"}, "--skip"},
  };
  for (const auto& [args, named] : bad) {
    const std::string e = UsageErrorOf(args);
    EXPECT_NE(e.find(named), std::string::npos) << "'" << e << "' should name " << named;
    EXPECT_EQ(e.find('\n'), std::string::npos);
  }
  for (const char* option : {"--seed", "--size", "--set", "-o", "--stages", "--frames", "--every",
                             "--skip", "--out-pattern", "--wallpaper", "--help"})
    EXPECT_NE(RenderHelp().find(option), std::string::npos) << option;
}

TEST(RenderOptions, FramePatternsNumberTheFrames) {
  const RenderOptions o =
      ParseRenderOptions({"--frames", "6", "--every", "3", "--out-pattern", "f%03d.png"});
  EXPECT_EQ(o.every, 3);
  EXPECT_TRUE(o.output.empty()) << "frames alone are something to write";
  const std::tuple<const char*, int, const char*> cases[] = {
      {"f%03d.png", 7, "f007.png"},       {"f%03d.png", 1234, "f1234.png"},
      {"d/%d.png", 12, "d/12.png"},       {"100%%-%02d.png", 3, "100%-03.png"},
      {"%d", 0, "0"},
  };
  for (const auto& [pattern, n, path] : cases) EXPECT_EQ(FramePath(pattern, n), path) << pattern;
}

int RunProgram(const std::string& args) {
  const int status = std::system((std::string(WH_RENDER_BIN) + " " + args + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(SceneTest, RendererProgramIsRepeatableAndRefusesBadArguments) {
  const std::string a = dir_.path() + "/a.png", b = dir_.path() + "/b.png";
  // A bad command line (each refusal is pinned in RenderOptions) and an
  // output that cannot be written are status 2.
  EXPECT_EQ(RunProgram("--seed x -o " + a), 2);
  EXPECT_EQ(RunProgram("--seed 7 -o " + dir_.path() + "/missing/a.png"), 2);
  EXPECT_EQ(RunProgram("--help >/dev/null"), 0);
  // A run-time error is logged, the picture still written, and the run fails.
  std::ostringstream out, err;
  EXPECT_EQ(RunRender({"--set", "Speed=0", "--size", "64x48", "-o", a}, out, err), 1);
  EXPECT_NE(err.str().find("error log"), std::string::npos);
  EXPECT_NE(ReadFile(dir_.path() + "/winterhollow.FLG").find("Form_Load"), std::string::npos);
  EXPECT_EQ(LoadPng(a).width, 64);

  ASSERT_EQ(RunProgram("--seed 7 --size 320x240 -o " + a), 0);
  ASSERT_EQ(RunProgram("--seed 7 --size 320x240 -o " + b + " --stages " + dir_.path() + "/st"), 0);
  EXPECT_EQ(ReadFile(a), ReadFile(b));
  const Image scene = LoadPng(a);
  EXPECT_EQ(scene.width, 320);
  EXPECT_EQ(scene.height, 240);
  // Stages: what the screen showed after each CopyBg, the last one the scene
  // before the corner mark went in.
  int stages = 0;
  while (std::ifstream(dir_.path() + "/st/stage-0" + std::to_string(stages + 1) + ".png"))
    ++stages;
  EXPECT_TRUE(stages == 5 || stages == 6) << stages;

  // Animation frames on the renderer's steady clock repeat too.
  ASSERT_EQ(RunProgram("--seed 7 --size 320x240 --frames 3 -o " + b), 0);
  const Image frame = LoadPng(b);
  ASSERT_EQ(RunProgram("--seed 7 --size 320x240 --frames 3 -o " + b), 0);
  EXPECT_EQ(LoadPng(b), frame);
  EXPECT_NE(frame, scene);
  // A run of frames: every second tick of five after the first, the last
  // one the same as -o's, and the one after three ticks the same as a run of three.
  ASSERT_EQ(RunProgram("--seed 7 --size 320x240 --frames 5 --skip 1 --every 2 --out-pattern " +
                       dir_.path() + "/f%02d.png -o " + a),
            0);
  EXPECT_EQ(LoadPng(dir_.path() + "/f01.png"), frame);
  EXPECT_NE(LoadPng(dir_.path() + "/f01.png"), LoadPng(dir_.path() + "/f02.png"));
  EXPECT_EQ(LoadPng(dir_.path() + "/f02.png"), LoadPng(a));
  EXPECT_FALSE(std::ifstream(dir_.path() + "/f03.png"));
  EXPECT_EQ(RunProgram("--frames 2 --out-pattern " + dir_.path() + "/missing/f%d.png"), 2);
  // The wallpaper is the background with the maker's line in its bottom-left
  // corner (when a font is installed); nothing else changes.
  ASSERT_EQ(RunProgram("--seed 7 --size 320x240 --frames 3 --wallpaper -o " + b), 0);
  const Image wall = LoadPng(b);
  ASSERT_EQ(wall.width, scene.width);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) ASSERT_EQ(wall.at(x, y), scene.at(x, y)) << x << "," << y;

  if (!HasResPicture(101)) GTEST_SKIP() << "no artwork in resources/bitmaps yet";
  ASSERT_EQ(RunProgram("--seed 8 --size 320x240 -o " + b), 0);
  EXPECT_NE(LoadPng(b), scene);
  ASSERT_EQ(RunProgram("--seed 7 --size 320x240 --set Snowman=0 -o " + b), 0);
  EXPECT_NE(LoadPng(b), scene);
}

// Runs the renderer as its own process; its exit status, and its peak
// resident memory in kilobytes.
std::pair<int, long> RunMeasured(const std::string& args) {
  std::vector<std::string> words{WH_RENDER_BIN};
  std::istringstream in(args);
  for (std::string w; in >> w;) words.push_back(w);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    freopen("/dev/null", "w", stderr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage {};
  wait4(pid, &status, 0, &usage);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), usage.ru_maxrss};
}

TEST_F(SceneTest, ALongRenderKeepsItsClockAndItsMemory) {
  // A frame every 50 s: 100000 frames take the clock past 2^31 and 2^32.
  const std::string common = "--seed 3 --size 16x12 --set Speed=0.004 --set Restart=0 "
                             "--set Date=0 --set Time=0 -o " + dir_.path() + "/long.png";
  // By 20000 frames every sprite has been loaded; after that nothing may grow.
  const auto [short_status, short_kb] = RunMeasured(common + " --frames 20000");
  const auto [long_status, long_kb] = RunMeasured(common + " --frames 100000");
  EXPECT_EQ(short_status, 0);
  EXPECT_EQ(long_status, 0) << "no run-time error, no undefined behaviour";
#if !defined(WH_ASAN)  // its quarantine holds freed memory for a while
  EXPECT_LT(long_kb - short_kb, 1024) << "nothing kept per frame";
#endif
}

// Whole scenes with the real pictures, pinned by a hash of their pixels.
// A deliberate change of the pictures or the composition changes them: look
// at the new scenes (tools/render), then run this test with
// WH_UPDATE_GOLDEN=1 and commit tests/scene/data/golden_scenes.txt.
// Renders each case with the Sharp setting given and compares the pixel
// hashes with the file (or rewrites it, with WH_UPDATE_GOLDEN set).
void GoldenTable(const std::string& dir, const std::string& file, const std::string& sharp,
                            const std::vector<std::string>& cases) {
  const std::string path = std::string(WH_TEST_DATA_DIR) + "/" + file;
  std::ostringstream now;
  now << "# winterhollow-render arguments => FNV-1a 64 of the pixels (see render_test.cpp)\n";
  for (const std::string& c : cases) {
    std::vector<std::string> args;
    std::istringstream in(c);
    for (std::string w; in >> w;) args.push_back(w);
    args.push_back("--set");
    args.push_back(sharp);
    args.push_back("-o");
    args.push_back(dir + "/g.png");
    std::ostringstream out, err;
    ASSERT_EQ(RunRender(args, out, err), 0) << err.str();
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx",
                  static_cast<unsigned long long>(PixelHash(LoadPng(dir + "/g.png"))));
    now << c << " => " << hex << "\n";
  }
  if (std::getenv("WH_UPDATE_GOLDEN")) {
    std::ofstream(path) << now.str();
    std::printf("rewrote %s\n", path.c_str());
    return;
  }
  EXPECT_EQ(ReadFile(path), now.str()) << "a golden scene changed; see the comment above this test";
}

// The plain 640 x 480 scenes, stretched, are in golden_scenes.txt; sharp
// ones (the default) in golden_sharp_scenes.txt.
TEST_F(SceneTest, GoldenScenes) {
  if (!HasResPicture(101)) GTEST_SKIP() << "no artwork in resources/bitmaps yet";
  struct Table {
    const char* file;
    const char* sharp;
    std::vector<std::string> cases;
  };
  const Table tables[] = {
      {"golden_scenes.txt",
       "Sharp=0",
       {
           "--seed 7 --size 1280x720",
           "--seed 42 --size 1024x768",
           "--seed 2024 --size 640x480",
           "--seed 7 --size 1280x720 --set Snowman=0",
           "--seed 99 --size 800x600 --set maxFl=400 --set Size=12",
       }},
      {"golden_sharp_scenes.txt",
       "Sharp=1",
       {
           "--seed 7 --size 1920x1080",
           "--seed 42 --size 1280x960",
           "--seed 2024 --size 640x480",
       }},
  };
  for (const Table& t : tables) GoldenTable(dir_.path(), t.file, t.sharp, t.cases);
}

// Sharp and plain scenes of one seed are one picture: looked at from afar
// (averaged over blocks of 8 x 8 screen pixels) they differ by little.
TEST_F(SceneTest, SharpScenesLookLikeThePlainOnes) {
  if (!HasResPicture(101)) GTEST_SKIP() << "no artwork in resources/bitmaps yet";
  for (const char* size : {"1280x960", "2560x1920"}) {
    SCOPED_TRACE(size);
    Image shot[2];
    for (int sharp = 0; sharp < 2; ++sharp) {
      const std::string out = dir_.path() + "/s.png";
      std::ostringstream o, e;
      ASSERT_EQ(RunRender({"--seed", "7", "--size", size, "--set",
                           sharp ? "Sharp=1" : "Sharp=0", "-o", out},
                          o, e),
                0)
          << e.str();
      shot[sharp] = LoadPng(out);
    }
    const int b = shot[0].width / 160;
    double diff = 0;
    for (int by = 0; by < 120; ++by)
      for (int bx = 0; bx < 160; ++bx)
        for (int c = 0; c < 24; c += 8) {
          long sum[2] = {0, 0};
          for (int i = 0; i < 2; ++i)
            for (int y = by * b; y < (by + 1) * b; ++y)
              for (int x = bx * b; x < (bx + 1) * b; ++x) sum[i] += shot[i].at(x, y) >> c & 0xFF;
          diff += std::abs(sum[0] - sum[1]) / double(b * b);
        }
    diff /= 160 * 120 * 3;
    EXPECT_GT(diff, 0.1) << "the sharp scene should not be the plain one";
    EXPECT_LT(diff, 4.0) << "mean difference per channel of 8 x 8 block averages";
  }
}


}  // namespace
}  // namespace wh::testing
