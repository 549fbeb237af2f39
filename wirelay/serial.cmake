# Serial interface of the I/O core (the second entry of its interface table), its tests over
# pseudo-terminal pairs, and wrl_serial_relay, a small program that relays message frames
# and queries over a pair of pseudo-terminals joined like a null-modem cable.
target_sources(wirelay_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/io_serial.cpp
  ${CMAKE_CURRENT_LIST_DIR}/io_serial_thread.cpp)
target_link_libraries(wirelay_core PUBLIC port_serial)

qm_add_test(NAME wirelay_serial_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/io_serial_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/serial_address_test.cpp
  LIBS wirelay
  LABELS wirelay threads)

add_executable(wrl_serial_relay ${CMAKE_CURRENT_LIST_DIR}/serial_relay.cpp)
target_link_libraries(wrl_serial_relay PRIVATE wirelay_query)
