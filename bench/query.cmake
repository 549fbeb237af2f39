# Query round trips (send, receive with conversion, acknowledgement) of 1, 100 and 1,000
# items against one plain frame carrying the same bytes, over loopback endpoints.
qm_add_bench(NAME query_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/query_bench.cpp
  LIBS wirelay_query)
