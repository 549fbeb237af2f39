# The store's time-id mappings (part of outside_store) and their test.
target_sources(outside_store PRIVATE ${CMAKE_CURRENT_LIST_DIR}/time_id_mapping.cpp)

qm_add_test(NAME outside_time_id_mapping_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/time_id_mapping_test.cpp
  LIBS outside_store
  LABELS outside)
