# The qm_server program: the request record (library cdb_request, shared with the client
# side), request handling and command line (library server_program), the entry (qm_server).
add_library(cdb_request STATIC ${CMAKE_CURRENT_SOURCE_DIR}/cdb_request.cpp)
target_include_directories(cdb_request PUBLIC ${PROJECT_SOURCE_DIR})

if(TARGET server_core AND TARGET wirelay)
  add_library(server_program STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/command_line.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/request_handler.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/request_callback.cpp)
  target_include_directories(server_program PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(server_program PUBLIC cdb_request server_core wirelay)

  add_executable(qm_server ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
  target_link_libraries(qm_server PRIVATE server_program port_files)

  qm_add_test(NAME server_program_test
    SOURCES
      ${CMAKE_CURRENT_SOURCE_DIR}/command_line_test.cpp
      ${CMAKE_CURRENT_SOURCE_DIR}/request_handler_test.cpp
      ${CMAKE_CURRENT_SOURCE_DIR}/request_callback_test.cpp
    LIBS server_program
    LABELS server)
endif()
