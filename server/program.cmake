# The qm_server program: request handling and command line (library server_program) and
# the entry (qm_server). The request record comes from the protocol library.
add_library(server_program STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/command_line.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/allowed_networks.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/request_handler.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/request_callback.cpp)
target_include_directories(server_program PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(server_program PUBLIC qm_protocol server_core wirelay)

add_executable(qm_server ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
target_link_libraries(qm_server PRIVATE server_program port_files)

qm_add_test(NAME server_program_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/command_line_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/allowed_networks_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/request_handler_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/request_callback_test.cpp
  LIBS server_program
  LABELS server)

# `cmake --install` and the Debian package (cmake/packaging.cmake) ship it in bin/.
include(GNUInstallDirs)
install(TARGETS qm_server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Server)
