# Table store benchmark against SQLite in memory (the SQLite half only when it is found).
qm_add_bench(NAME table_store_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/table_store_bench.cpp
             LIBS outside_store server_core)
# The benchmark itself is absent when benchmarks are off or Google Benchmark is missing.
if(TARGET table_store_bench)
  find_package(SQLite3 QUIET)
  if(SQLite3_FOUND)
    target_link_libraries(table_store_bench PRIVATE SQLite::SQLite3)
    target_compile_definitions(table_store_bench PRIVATE TABLE_STORE_BENCH_SQLITE=1)
  endif()
endif()
