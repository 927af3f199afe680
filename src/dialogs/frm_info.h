// The information dialog: the product picture with the name and version on
// it, and OK.
#pragma once

#include <string>

#include "dialogs/controls.h"
#include "errors/err_scribe.h"

namespace wh::dialogs {

// "WinterHollow", two blanks, major, "." minor as two digits, "." revision
// as four digits: 1.0.12 reads "WinterHollow  1.00.0012".
std::string VersionText(const ProgramVersion& v);

struct InfoControls {
  Label* Label0 = nullptr;  // the version label
  Button* cmdOK = nullptr;
  Window* window = nullptr;
};

class frmInfo {
 public:
  explicit frmInfo(InfoControls controls) : c_(controls) {}
  void Form_Load();
  void cmdOK_Click();

 private:
  InfoControls c_;
};

}  // namespace wh::dialogs
