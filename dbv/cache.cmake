# The registry of fast cache tables: registration, clearing, walking and renumbering ids.
target_sources(dbv PRIVATE ${CMAKE_CURRENT_LIST_DIR}/cache_tables.cpp)

qm_add_test(NAME dbv_cache_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cache_tables_test.cpp
  LIBS dbv
  LABELS dbv)
