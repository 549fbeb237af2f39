# Table introspection, row values and row copying, table domain information and the table
# store wrappers.
target_sources(dbv PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/table_introspection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/row_values.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_copy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_domain_info.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_store_wrappers.cpp)

qm_add_test(NAME dbv_tables_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/table_introspection_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/row_values_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_copy_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_domain_info_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_store_wrappers_test.cpp
  LIBS dbv
  LABELS dbv)
