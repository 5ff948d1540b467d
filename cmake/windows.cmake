# Settings of the MinGW-w64 cross build (see cmake/mingw-w64.cmake).

# Link the C++ runtime, libgcc and winpthread into the DLL and every program:
# the only imports left are KERNEL32, msvcrt, the system DLLs we name and our
# own DLL, so nothing has to be copied beside the programs for Wine.
add_link_options(-static)

# Programs run under a wrapper that pins this build tree's own Wine prefix
# and quiet, crash-debugger-free settings (scripts/wine-env.sh), so ctest and
# GoogleTest discovery behave the same from any shell.
if(CMAKE_CROSSCOMPILING)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.sh.in
                 ${PROJECT_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run)
endif()
