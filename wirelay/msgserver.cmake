# Upper half of the message transport: endpoints and addresses, frames, the message server
# with its client registry, counted allocation and error texts. Library `wirelay`.
add_library(wirelay STATIC
  ${CMAKE_CURRENT_LIST_DIR}/wrl_alloc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wrl_errors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/address.cpp
  ${CMAKE_CURRENT_LIST_DIR}/endpoint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_server_records.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_server_memory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_server_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_server_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_server_queue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_server_clients.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_server_read.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_server_write.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_server_detached.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_server_peer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_server.cpp)
target_include_directories(wirelay PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(wirelay PUBLIC wirelay_core)

qm_add_test(NAME wirelay_msgserver_unit_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/frame_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/wrl_errors_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/message_server_reader_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/message_server_memory_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/message_server_detached_test.cpp
  LIBS wirelay
  LABELS threads)
qm_add_test(NAME wirelay_endpoint_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/endpoint_test.cpp
  LIBS wirelay
  LABELS threads)
qm_add_test(NAME wirelay_message_server_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/message_server_test.cpp
  LIBS wirelay
  LABELS threads)
qm_add_test(NAME wirelay_message_server_gather_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/message_server_gather_test.cpp
  LIBS wirelay
  LABELS threads)
qm_add_test(NAME wirelay_message_server_stress_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/message_server_stress_test.cpp
  LIBS wirelay
  LABELS threads)
