# Files, paths, clock, process limits and memory hints of the platform layer: library port_files and its tests.
add_library(port_files STATIC
  ${CMAKE_CURRENT_LIST_DIR}/files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_swap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/paths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/clock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/limits.cpp
  ${CMAKE_CURRENT_LIST_DIR}/memory.cpp)
target_include_directories(port_files PUBLIC ${PROJECT_SOURCE_DIR})

qm_add_test(NAME port_files_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/files_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/file_swap_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/paths_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/clock_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/limits_test.cpp
  LIBS port_files)
