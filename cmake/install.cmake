# Installs the library, its public headers, a CMake package giving the
# imported target genreg::genreg, genreg.pc for pkg-config, and the ctypes
# module for Python programs (share/genreg/python: put it on PYTHONPATH).
include(CMakePackageConfigHelpers)

set(GENREG_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/genreg)

install(TARGETS genreg EXPORT genregTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/genreg
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")
install(EXPORT genregTargets
  NAMESPACE genreg::
  FILE genregTargets.cmake
  DESTINATION ${GENREG_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/genregConfig.cmake.in
  ${PROJECT_BINARY_DIR}/genregConfig.cmake
  INSTALL_DESTINATION ${GENREG_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/genregConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/genregConfig.cmake
              ${PROJECT_BINARY_DIR}/genregConfigVersion.cmake
  DESTINATION ${GENREG_CMAKE_DIR})

# pkg-config paths are written relative to the installed .pc file, so the
# tree can be moved after installation (or installed with --prefix).
file(RELATIVE_PATH GENREG_PC_TO_PREFIX /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
configure_file(${PROJECT_SOURCE_DIR}/cmake/genreg.pc.in ${PROJECT_BINARY_DIR}/genreg.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/genreg.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${PROJECT_SOURCE_DIR}/bindings/python/genreg.py
  DESTINATION ${CMAKE_INSTALL_DATADIR}/genreg/python)
