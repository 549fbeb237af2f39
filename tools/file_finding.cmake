# File finding along the application's directories and the file-existence cache on the
# hash table. Library `tools_files` (hidden visibility; the shared library Common links it
# whole and exports what is marked COMMON_EXPORT).
add_library(tools_files STATIC
  ${CMAKE_CURRENT_LIST_DIR}/file_finding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_exist_cache.cpp
)
target_include_directories(tools_files PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tools_files PUBLIC tools_containers tools_strings outside_basekit port)
set_target_properties(tools_files PROPERTIES CXX_VISIBILITY_PRESET hidden
                                             VISIBILITY_INLINES_HIDDEN ON)
set_property(GLOBAL APPEND PROPERTY COMMON_PARTS tools_files)

qm_add_test(NAME tools_files_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/file_finding_test.cpp
  LIBS tools_files
  LABELS tools)
