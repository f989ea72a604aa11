#include <iostream>
#include <string_view>
#include <vector>

#include "tools/vxosd-lunar/lunar_tool.h"

int main(int argc, char **argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  return vx::lunar_tool::Run(args, std::cout, std::cerr);
}
