# Benchmark of cached file finding against plain stat calls over the same tree.
qm_add_bench(NAME file_finding_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/file_finding_bench.cpp
  LIBS tools_files)
