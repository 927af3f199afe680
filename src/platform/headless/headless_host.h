// A form host without a display: every refresh of the form is kept as a
// frame in memory, with the number of random draws taken up to it. The
// renderer writes these frames out; tests read them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gfx/image.h"
#include "scene/form_host.h"

namespace wh {

class HeadlessHost : public FormHost {
 public:
  struct Frame {
    Image image;     // empty when keep_images is off
    uint64_t draws;  // random draws taken since the last seeding
  };

  void Present(const Canvas& form) override;
  void PumpMessages() override { ++pumps; }
  double DotsPerInch() const override { return dpi; }
  double TextDotsPerInch() const override { return text_dpi; }

  // Writes every kept frame as <dir>/stage-NN.png (NN from 01). A failure
  // raises the run-time error of the file operation.
  void WriteStages(const std::string& dir) const;

  // One record per refresh while keep_frames is on (with the image while
  // keep_images is on too); a long run turns it off and only counts.
  std::vector<Frame> frames;
  bool keep_frames = true;
  bool keep_images = true;
  uint64_t presents = 0;
  int pumps = 0;
  double dpi = 96.0;
  double text_dpi = 96.0;
};

}  // namespace wh
