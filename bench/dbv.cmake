# Benchmark of the id range mapper class of the shared library: old-id translation through
# IdRangeMapper_c::GetNewId over 10,000 runs against std::map lower-bound lookups of the
# same runs.
qm_add_bench(NAME dbv_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dbv_bench.cpp
  LIBS dbv)
