# Converting plain tables into a domain (the per-row callback, the change-control clearing,
# the re-creation of deprecated tables) and the time ids of a cursor's current row.
target_sources(dbv PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/convert_table_domain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/convert_table_clean.cpp
  ${CMAKE_CURRENT_LIST_DIR}/convert_row_callback.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recreate_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cursor_time.cpp)

qm_add_test(NAME dbv_conversion_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/convert_table_domain_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/convert_table_clean_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/convert_row_callback_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recreate_table_test.cpp
  LIBS dbv
  LABELS dbv)
