# Synchronisation and socket half of the platform layer: counting semaphore, threads,
# debug sink, eventfd wake-up, socket helpers and the readiness poller.
add_library(port_sync STATIC
  ${CMAKE_CURRENT_LIST_DIR}/semaphore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/debug_sink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/thread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eventfd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/socket.cpp
  ${CMAKE_CURRENT_LIST_DIR}/socket_poller.cpp)
target_include_directories(port_sync PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(port_sync PUBLIC Threads::Threads)

qm_add_test(NAME port_sync_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/semaphore_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/debug_sink_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/socket_test.cpp
  LIBS port_sync
  LABELS threads)
