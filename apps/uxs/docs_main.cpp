// uxs-docs: prints uxs's man page, made from its help text.
#include <cstdio>
#include <string_view>

#include "uxs_help.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--man") {
    std::fputs(velda::uxs::UxsManPage().c_str(), stdout);
    return 0;
  }
  std::fputs("usage: uxs-docs --man\n", stderr);
  return 2;
}
