// uxs: the package tool.
#include <iostream>

#include "uxs_commands.h"

int main(int argc, char** argv) {
  const std::vector<std::string> aArgs(argv + 1, argv + argc);
  return velda::uxs::RunUxs(aArgs, std::cout, std::cerr);
}
