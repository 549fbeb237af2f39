# Network interfaces, the machine's identification files and the process CPU clock of the
# platform layer: library port_system and its tests.
add_library(port_system STATIC
  ${CMAKE_CURRENT_LIST_DIR}/system_info.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cpu_clock.cpp)
target_include_directories(port_system PUBLIC ${PROJECT_SOURCE_DIR})

qm_add_test(NAME port_system_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/system_info_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/cpu_clock_test.cpp
  LIBS port_system port_files
  LABELS port)
