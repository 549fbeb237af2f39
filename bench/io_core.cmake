# Benchmark of one request cycle through the transport's I/O core and socket thread
# (three reads, two writes) against a plain blocking-socket server thread.
qm_add_bench(NAME io_core_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/io_core_bench.cpp
  LIBS wirelay_core)
