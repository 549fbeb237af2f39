# Search tree benchmark: building over 1,000,000 boxes and 100,000 small window queries,
# the numbered octree and the plan quadtree against the R-tree of Boost.Geometry (quadratic
# and R*-tree; the R-tree half only when Boost's headers are found, e.g. after
# `apt-get install libboost-dev`).
qm_add_bench(NAME searchtree_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/searchtree_bench.cpp
             LIBS searchtree)
if(TARGET searchtree_bench)
  find_package(Boost QUIET)
  if(Boost_FOUND)
    target_link_libraries(searchtree_bench PRIVATE Boost::headers)
    target_compile_definitions(searchtree_bench PRIVATE SEARCHTREE_BENCH_RTREE=1)
  endif()
endif()
