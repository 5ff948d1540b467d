# The directory tests' machine fixture has one backend per platform; on
# Windows the tests also need their stand-in cluster library.
if(WIN32)
  target_sources(genreg_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/dir_backend/win32_machine.cpp)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/clusapi ${CMAKE_CURRENT_BINARY_DIR}/clusapi)
else()
  target_sources(genreg_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/dir_backend/posix_machine.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/dir_backend/posix_stand_in.cpp)
endif()
