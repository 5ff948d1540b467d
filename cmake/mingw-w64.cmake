# Cross-compiles for 64-bit Windows with MinGW-w64 and runs the results under
# Wine (ctest and GoogleTest discovery go through CMAKE_CROSSCOMPILING_EMULATOR).
#
# The -posix compilers are required: the -win32 thread model has no
# std::mutex/std::thread in GCC 12 and GoogleTest does not build with it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GENREG_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GENREG_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GENREG_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${GENREG_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${GENREG_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian installs wine64 outside PATH. The project replaces this with a
# wrapper that pins the build tree's own Wine prefix (see CMakeLists.txt).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
