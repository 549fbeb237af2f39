# Domain-table benchmark: the store's domain bookkeeping against its plain tables and against
# SQLite in memory keeping a history table by trigger (the SQLite half only when it is found).
qm_add_bench(NAME domain_table_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/domain_table_bench.cpp
             LIBS outside_store server_core)
if(TARGET domain_table_bench)
  find_package(SQLite3 QUIET)
  if(SQLite3_FOUND)
    target_link_libraries(domain_table_bench PRIVATE SQLite::SQLite3)
    target_compile_definitions(domain_table_bench PRIVATE DOMAIN_TABLE_BENCH_SQLITE=1)
  endif()
endif()
