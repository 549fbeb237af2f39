# Benchmark of natural sorting of string lists against std::sort with the same and with a
# plain byte comparison.
qm_add_bench(NAME strings_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/strings_bench.cpp
  LIBS tools_strings)
