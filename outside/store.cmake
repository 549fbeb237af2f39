# The in-memory table store stand-in (library outside_store) and its tests.
add_library(outside_store STATIC
  ${CMAKE_CURRENT_LIST_DIR}/table_memory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_key.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_hash_index.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_rows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_dictionary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/virtual_database.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_row_api.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_cursor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_serialise.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stream_crc32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_metadata.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_seams.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/guid_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/id_range_mapper_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/database_switch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_table_changes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_table_convert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_table_modes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_undo_log.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_statistics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_table_stream.cpp)
target_include_directories(outside_store PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(outside_store PUBLIC port_files ZLIB::ZLIB)

qm_add_test(NAME outside_store_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/table_memory_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_hash_index_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_key_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_layout_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_rows_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_rows_bulk_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_cursor_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/virtual_database_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_serialise_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/stream_crc32_test.cpp
  LIBS outside_store
  LABELS outside)

qm_add_test(NAME outside_domain_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/domain_handles_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/domain_store_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/guid_text_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/domain_events_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/id_range_mapper_store_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/store_seams_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/database_switch_test.cpp
  LIBS outside_store outside_basekit
  LABELS outside)

# Fast cache tables: flat rows with unique hash indexes and insertion-order cursors.
target_sources(outside_store PRIVATE ${CMAKE_CURRENT_LIST_DIR}/cache_tables.cpp)
qm_add_test(NAME outside_cache_table_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cache_tables_test.cpp
  LIBS outside_store
  LABELS outside)

qm_add_test(NAME outside_domain_table_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/domain_table_convert_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/domain_table_history_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/domain_table_callbacks_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/domain_table_stream_test.cpp
  LIBS outside_store
  LABELS outside)
