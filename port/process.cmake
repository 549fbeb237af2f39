# Child processes of the platform layer: starting, ending and reaping programs, writing into
# another process's memory, stop signals and terminal key mode. Library port_process.
add_library(port_process STATIC ${CMAKE_CURRENT_LIST_DIR}/process.cpp)
target_include_directories(port_process PUBLIC ${PROJECT_SOURCE_DIR})

qm_add_test(NAME port_process_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/process_test.cpp
  LIBS port_process util)
