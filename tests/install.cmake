# The install test: `cmake --install` of the Server component into a temporary prefix, then
# the installed qm_server is started and the installed qm_admin talks to it.
add_test(NAME qm_server_installed
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_COMMAND})
set_tests_properties(qm_server_installed PROPERTIES LABELS e2e TIMEOUT 120)
