# The cancel and progress dialog client (in process through the application's callbacks,
# out of process through a dialog program), the terminal dialog program qm_cancel_dialog and
# their tests. The tests start the real program and a recording stand-in.
target_sources(services PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/dialog_setup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_in_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_protocol.cpp)

# The program needs only the command-line protocol and the platform's process calls.
add_executable(qm_cancel_dialog
  ${CMAKE_CURRENT_LIST_DIR}/cancel_dialog_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_protocol.cpp)
target_include_directories(qm_cancel_dialog PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(qm_cancel_dialog PRIVATE port_process port_files)

add_executable(dialog_test_recorder ${CMAKE_CURRENT_LIST_DIR}/dialog_test_recorder.cpp)

qm_add_test(NAME services_dialog_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialog_protocol_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/dialog_in_process_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/dialog_process_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/cancel_dialog_test.cpp
  LIBS services
  LABELS services)
target_compile_definitions(services_dialog_test PRIVATE
  QM_CANCEL_DIALOG_PATH="$<TARGET_FILE:qm_cancel_dialog>"
  QM_DIALOG_RECORDER_PATH="$<TARGET_FILE:dialog_test_recorder>")
add_dependencies(services_dialog_test qm_cancel_dialog dialog_test_recorder)
