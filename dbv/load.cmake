# Loading binary database files into the current virtual database, and its test.
target_sources(dbv PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/load_database.cpp
  ${CMAKE_CURRENT_LIST_DIR}/load_database_read.cpp
  ${CMAKE_CURRENT_LIST_DIR}/load_database_guid.cpp)

qm_add_test(NAME dbv_load_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/load_database_test.cpp
  LIBS dbv
  LABELS dbv)
