#include <iostream>
#include <string>
#include <vector>

#include "tools/render/render.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return wh::RunRender(args, std::cout, std::cerr);
}
