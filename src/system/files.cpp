#include "system/files.h"

namespace wh::files {

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == '/' || last == '\\') return folder + name;
  // A Windows folder keeps its own separator.
  const bool windows = folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos;
  return folder + (windows ? '\\' : '/') + name;
}

}  // namespace wh::files
