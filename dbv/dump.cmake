# The dump text: one table block written and read, and whole databases dumped.
target_sources(dbv PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/dump_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dump_table_write.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dump_table_read.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dump_database.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dump_database_file.cpp)

qm_add_test(NAME dbv_dump_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dump_table_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dump_table_labels_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dump_database_test.cpp
  LIBS dbv
  LABELS dbv)
