# Version texts, CPU timers and system identification (file hash, network identity,
# machine facts) of the library `services`.

target_sources(services PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/version.cpp
  ${CMAKE_CURRENT_LIST_DIR}/version_derive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cpu_timer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_identification.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_identification_hash.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sha1.cpp)

qm_add_test(NAME services_version_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/version_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/cpu_timer_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/system_identification_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/sha1_test.cpp
  LIBS services
  LABELS services)
