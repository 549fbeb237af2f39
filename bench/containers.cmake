# Benchmarks of the core containers: the block allocator against malloc/free and hash
# table lookups against std::unordered_map with the same bucket count.
qm_add_bench(NAME containers_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/containers_bench.cpp
  LIBS tools_containers)
