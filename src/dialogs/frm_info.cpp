#include "dialogs/frm_info.h"

#include <cstdio>

#include "errors/trap.h"

namespace wh::dialogs {

std::string VersionText(const ProgramVersion& v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "WinterHollow  %d.%02d.%04d", v.major, v.minor, v.revision);
  return buf;
}

void frmInfo::Form_Load() {
  Trap trap("frmInfo", "Form_Load");
  STMT(c_.Label0->SetCaption(VersionText(Version())));
  STMT(c_.cmdOK->SetVisible(true));
}

void frmInfo::cmdOK_Click() {
  Trap trap("frmInfo", "cmdOK_Click");
  STMT(c_.window->Unload());
}

}  // namespace wh::dialogs
