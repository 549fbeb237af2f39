# Test of the installed shared library: installs the build tree's component Common into a
# fresh prefix, configures and builds common/example against that install (find_package,
# never the build tree's object files) with the build's compiler, build type and sanitizer
# flags, runs the example and checks its output. A symbol the example needs but the library
# does not export fails the build of the example; a wrong result fails its run.
# Input: BUILD_DIR, EXAMPLE_SOURCE_DIR, WORK_DIR, GENERATOR, MAKE_PROGRAM, CXX_COMPILER,
# BUILD_TYPE, CXX_FLAGS, LINK_FLAGS.
cmake_minimum_required(VERSION 3.25)

function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                  ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${output}")
  endif()
  set(step_output "${output}" PARENT_SCOPE)
endfunction()

set(prefix "${WORK_DIR}/prefix")
set(example_build "${WORK_DIR}/build")
file(REMOVE_RECURSE "${WORK_DIR}")

run_step("Installing Common"
  "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}" --component Common)
foreach(expected lib/libCommon.so lib/cmake/Common/CommonConfig.cmake
        lib/cmake/Common/CommonConfigVersion.cmake lib/cmake/Common/CommonTargets.cmake
        include/common/dbv/common_export.h include/common/dbv/domain_registry.h
        include/common/outside/store_domain.h)
  if(NOT EXISTS "${prefix}/${expected}")
    message(FATAL_ERROR "The install lacks ${expected}")
  endif()
endforeach()
file(GLOB_RECURSE test_headers "${prefix}/include/*_test*" "${prefix}/include/*_internal*")
if(test_headers)
  message(FATAL_ERROR "Test or internal headers were installed: ${test_headers}")
endif()

run_step("Configuring the example"
  "${CMAKE_COMMAND}" -S "${EXAMPLE_SOURCE_DIR}" -B "${example_build}" -G "${GENERATOR}"
  "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
  "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}" "-DCMAKE_PREFIX_PATH=${prefix}"
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF)
run_step("Building the example" "${CMAKE_COMMAND}" --build "${example_build}")
run_step("Running the example" "${example_build}/example")
message(STATUS "${step_output}")

if(NOT step_output MATCHES "example: all checks passed\n$")
  message(FATAL_ERROR "The example did not report success")
endif()
if(step_output MATCHES "Assertion failed")
  message(FATAL_ERROR "The example raised an assertion report")
endif()
if(NOT step_output MATCHES "local events: 1 events:\nIssued@for review/[0-9]+/[0-9a-f-]+\n")
  message(FATAL_ERROR "The example printed an unexpected event text")
endif()
