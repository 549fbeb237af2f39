# I/O core of the message transport and its TCP/IP interface (socket thread).
add_library(wirelay_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/io_core.cpp
  ${CMAKE_CURRENT_LIST_DIR}/io_sync.cpp
  ${CMAKE_CURRENT_LIST_DIR}/io_log.cpp
  ${CMAKE_CURRENT_LIST_DIR}/io_time.cpp
  ${CMAKE_CURRENT_LIST_DIR}/io_interfaces.cpp
  ${CMAKE_CURRENT_LIST_DIR}/io_tcpip.cpp
  ${CMAKE_CURRENT_LIST_DIR}/io_tcpip_thread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/io_tcpip_loop.cpp)
target_include_directories(wirelay_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(wirelay_core PUBLIC port_sync Threads::Threads)

qm_add_test(NAME wirelay_io_core_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/io_core_test.cpp
  LIBS wirelay_core
  LABELS threads)
qm_add_test(NAME wirelay_io_tcpip_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/io_tcpip_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/io_tcpip_fastpath_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/io_tcpip_thread_test.cpp
  LIBS wirelay_core
  LABELS threads)

# Connecting with a time-out that covers the connect itself (used by the client library).
add_library(wirelay_connect STATIC ${CMAKE_CURRENT_LIST_DIR}/endpoint_connect.cpp)
target_include_directories(wirelay_connect PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(wirelay_connect PUBLIC wirelay port_files)

qm_add_test(NAME wirelay_endpoint_connect_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/endpoint_connect_test.cpp
  LIBS wirelay_connect
  LABELS threads)
