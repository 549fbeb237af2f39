# Small helpers shared by every folder's CMakeLists.txt.

# Every test executable labelled "threads" (its subject is behaviour across threads): CI
# builds just these under ThreadSanitizer.
add_custom_target(qm_thread_tests)

# qm_add_test(NAME name SOURCES a_test.cpp ... LIBS lib ... [LABELS l ...])
# A GoogleTest executable whose cases are registered with CTest one by one.
function(qm_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  set(props TIMEOUT 300)
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if("threads" IN_LIST T_LABELS)
    add_dependencies(qm_thread_tests ${T_NAME})
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()

# qm_add_bench(NAME name SOURCES a_bench.cpp ... LIBS lib ...)
# A Google Benchmark executable; built only, never run by CTest.
function(qm_add_bench)
  if(NOT QM_BUILD_BENCH)
    return()
  endif()
  find_package(benchmark QUIET)
  if(NOT benchmark_FOUND)
    message(STATUS "Google Benchmark not found: ${ARGV1} is not built")
    return()
  endif()
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
  target_include_directories(${B_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()
