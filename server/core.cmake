# server_core: the multiuser server's tables, database file, locks, id counters and client
# bookkeeping, as plain functions over the table store, independent of the transport.
add_library(server_core STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/server_rows.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/server_state.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/server_tables.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/server_database.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/file_committer.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/log_text.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/locks.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/drawing_locks.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/id_allocation.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/client_bookkeeping.cpp)
target_include_directories(server_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(server_core PUBLIC qm_protocol outside_store outside_basekit port_files tools_strings)

qm_add_test(NAME server_core_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/server_test_support.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/server_rows_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/server_database_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/file_committer_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/locks_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/drawing_locks_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/id_allocation_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/client_bookkeeping_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/log_text_test.cpp
  LIBS server_core
  LABELS server)
