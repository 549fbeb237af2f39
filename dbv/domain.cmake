# Domain and events containers, the domain registry with the current virtual database, and
# id range mappers with their file.
target_sources(dbv PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/domain_and_events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_range_mapper.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_registry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/domain_registry_events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/current_database.cpp
  ${CMAKE_CURRENT_LIST_DIR}/statics_interface.cpp
  ${CMAKE_CURRENT_LIST_DIR}/id_range_mapper.cpp
  ${CMAKE_CURRENT_LIST_DIR}/id_range_mapper_file.cpp)

qm_add_test(NAME dbv_domain_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/domain_and_events_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/domain_registry_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/id_range_mapper_test.cpp
  LIBS dbv
  LABELS dbv)
