# A domain and its event containers in a stream, and the store's opening of database files
# (part of outside_store), with their test.
target_sources(outside_store PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/domain_stream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_stream_events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_stream_file.cpp)

qm_add_test(NAME outside_domain_stream_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/domain_stream_test.cpp
  LIBS outside_store
  LABELS outside)
