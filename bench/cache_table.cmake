# Benchmark of the fast cache table registry: renumbering the ids of 1,000,000 cached rows
# against rebuilding a std::unordered_map of the same rows under the new ids.
qm_add_bench(NAME cache_table_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cache_table_bench.cpp
  LIBS dbv)
