# The protocol tests' special files and ownership have one backend per
# platform.
if(WIN32)
  target_sources(genreg_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/file_backend/win32_files.cpp)
else()
  target_sources(genreg_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/file_backend/posix_files.cpp)
endif()
