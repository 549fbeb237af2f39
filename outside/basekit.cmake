# The base tools stand-in: library outside_basekit and its tests.
add_library(outside_basekit STATIC
  ${CMAKE_CURRENT_LIST_DIR}/assert_log.cpp
  ${CMAKE_CURRENT_LIST_DIR}/base64.cpp
  ${CMAKE_CURRENT_LIST_DIR}/base_tools_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/base_tools_time.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_printf.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_directories.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_file_directories.cpp)
target_include_directories(outside_basekit PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(outside_basekit PUBLIC port_files ZLIB::ZLIB)

qm_add_test(NAME outside_basekit_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/assert_log_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/base64_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/base_tools_text_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/log_printf_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tool_file_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tool_file_directories_test.cpp
  LIBS outside_basekit)
