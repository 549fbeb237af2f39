# Reliability tests against the real qm_server binary: crash safety of the id counters
# under SIGKILL, and a hostile-client load beside well-behaved clients. tests/soak.sh runs
# the hostile load for longer by hand.
if(TARGET qm_server AND TARGET qm_client AND TARGET server_core)
  qm_add_test(NAME qm_crash_safety_test
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/server_process.cpp
      ${CMAKE_CURRENT_LIST_DIR}/crash_safety_test.cpp
    LIBS qm_client server_core
    LABELS reliability)
  target_compile_definitions(qm_crash_safety_test PRIVATE QM_SERVER_BINARY="$<TARGET_FILE:qm_server>")
  add_dependencies(qm_crash_safety_test qm_server)

  qm_add_test(NAME qm_hostile_client_test
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/server_process.cpp
      ${CMAKE_CURRENT_LIST_DIR}/hostile_connections.cpp
      ${CMAKE_CURRENT_LIST_DIR}/hostile_client_test.cpp
    LIBS qm_client
    LABELS reliability)
  target_compile_definitions(qm_hostile_client_test PRIVATE QM_SERVER_BINARY="$<TARGET_FILE:qm_server>")
  add_dependencies(qm_hostile_client_test qm_server)
endif()
