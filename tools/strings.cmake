# Dynamic strings: owned strings, text helpers, string lists, and the zero-filling
# allocation wrappers that the containers share. Library `tools_strings`.
add_library(tools_strings STATIC
  ${CMAKE_CURRENT_LIST_DIR}/tool_alloc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dstring_owned.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dstring_edit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dstring_query.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dstring_match.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dstring_natcmp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dstring_scan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dstring_token.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dstring_escape.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dstring_number.cpp
  ${CMAKE_CURRENT_LIST_DIR}/string_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/keyed_string_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bytes_bits.cpp
)
target_include_directories(tools_strings PUBLIC ${PROJECT_SOURCE_DIR})

qm_add_test(NAME tools_strings_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tool_alloc_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dstring_owned_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dstring_edit_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dstring_match_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dstring_natcmp_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dstring_scan_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dstring_token_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dstring_escape_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dstring_number_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/string_list_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bytes_bits_test.cpp
  LIBS tools_strings
  LABELS tools)
