# One set of warnings for every target of the project; warnings are errors.
add_library(velda_warnings INTERFACE)
target_compile_options(velda_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Werror -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough
  -Wmissing-declarations -Wformat=2)
if(MINGW)
  # GCC 12 reports false overlaps inside std::string at -O3 (its bug 105329).
  target_compile_options(velda_warnings INTERFACE -Wno-restrict)
endif()
