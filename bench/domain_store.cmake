# Benchmarks of the table store's domain half: time ids, guid conversion and id range
# mapper lookups against std::map.
qm_add_bench(NAME domain_store_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/domain_store_bench.cpp
  LIBS outside_store)
