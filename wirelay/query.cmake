# Query records of the transport's client side: items in host form, their byte-order
# conversion tables, and sending, receiving and acknowledging queries over an endpoint.
# Library wirelay_query (it reads row layouts from the table store).
add_library(wirelay_query STATIC
  ${CMAKE_CURRENT_LIST_DIR}/query.cpp
  ${CMAKE_CURRENT_LIST_DIR}/query_convert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/query_wire.cpp
  ${CMAKE_CURRENT_LIST_DIR}/query_transfer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/query_reader.cpp)
target_include_directories(wirelay_query PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(wirelay_query PUBLIC wirelay outside_store)

qm_add_test(NAME wirelay_query_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/query_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/query_transfer_test.cpp
  LIBS wirelay_query
  LABELS wirelay threads)
