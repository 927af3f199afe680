// winterhollow-render: composes a scene without a display, through the same
// start sequence as the saver window, and writes it as PNG.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace wh {

// Runs the renderer with the arguments after the program name. Returns the
// exit status: 0 done, 2 bad arguments or output not writable, 1 otherwise.
int RunRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace wh
