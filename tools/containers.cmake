# Core containers: hash table, integer and double arrays, pointer lists and the block
# allocator. Library `tools_containers`; memory comes from the wrappers of `tools_strings`.
add_library(tools_containers STATIC
  ${CMAKE_CURRENT_LIST_DIR}/tool_array.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_ptrlist.cpp
  ${CMAKE_CURRENT_LIST_DIR}/allocator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_hash.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_report.cpp)
target_include_directories(tools_containers PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tools_containers PUBLIC tools_strings)

qm_add_test(NAME tools_containers_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tool_array_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tool_ptrlist_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/allocator_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tool_hash_test.cpp
  LIBS tools_containers
  LABELS tools)
