# Cross build for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64). The posix
# variant of the compiler is the one with std::thread and std::mutex. Test programs run under
# Wine through ctest's emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELDA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELDA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELDA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELDA_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELDA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A static runtime: the programs need no DLL beyond the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(VELDA_WINE NAMES wine wine64)
if(VELDA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELDA_WINE})
endif()
