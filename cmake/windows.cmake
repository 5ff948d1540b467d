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

# A shipped Release DLL or program carries no debug sections (the static
# runtime libraries bring theirs otherwise); scripts/check-release-dll.sh
# checks it.
add_link_options($<$<CONFIG:Release,MinSizeRel>:-s>)

# genreg_add_version_resource(TARGET DESCRIPTION): a version resource (file
# and product version from project(), product name, description) compiled
# with windres into TARGET, a DLL or a program.
enable_language(RC)
function(genreg_add_version_resource target description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(GENREG_RC_FILETYPE VFT_APP)
    set(suffix .exe)
  else()
    set(GENREG_RC_FILETYPE VFT_DLL)
    set(suffix .dll)
  endif()
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(GENREG_RC_FILENAME ${name}${suffix})
  set(GENREG_RC_DESCRIPTION "${description}")
  set(rc ${PROJECT_BINARY_DIR}/version/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# genreg_write_link_map(TARGET): the linker's map of TARGET, lib/TARGET.map,
# which lists the objects and symbols linked in; the Release DLL's check
# reads it, since the stripped DLL has no symbol table.
function(genreg_write_link_map target)
  target_link_options(${target} PRIVATE "-Wl,-Map=${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/${target}.map")
endfunction()
