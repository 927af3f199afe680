// The command line of winterhollow-render.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace wh {

struct RenderOptions {
  std::optional<uint64_t> seed;  // none: seeded from the time of day, as the saver is
  int width = 1024;
  int height = 768;
  // Settings as store text, by their store key, in the order given.
  std::vector<std::pair<std::string, std::string>> settings;
  std::string output;  // -o: the finished background as PNG
  std::string stages;  // --stages: a folder for the picture after each stage
  int frames = 0;      // --frames: animation ticks to run after the build
  int every = 1;       // --every: with --out-pattern, a picture after every this many ticks
  int skip = 0;        // --skip: with --out-pattern, the first ticks that write nothing
  std::string out_pattern;  // --out-pattern: the frames' file names, one %d (%03d) each
  bool wallpaper = false;  // --wallpaper: -o writes the signed background
  bool help = false;
  bool version = false;  // --version: print "winterhollow-render X.Y.Z"
};

// A bad argument; what() is one line that names it.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the arguments after the program name. Throws UsageError.
RenderOptions ParseRenderOptions(const std::vector<std::string>& args);

// The file name of the n-th written frame: the pattern's one %d (or %0Nd)
// replaced by n, "%%" by "%".
std::string FramePath(const std::string& pattern, int n);

// The --help text.
std::string RenderHelp();

// Largest accepted width and height: the sky band's 16-bit geometry
// (1.156 x width) must fit, and memory stays reasonable.
constexpr int kMaxRenderSide = 10000;
constexpr int kMaxRenderFrames = 1000000;

}  // namespace wh
