# Installs the public headers of the shared library Common; run by `cmake --install`.
# Input: COMMON_SOURCE_ROOT (the source tree), COMMON_HEADER_DIRS (folders whose headers are
# public), COMMON_INCLUDE_DESTINATION (relative to the install prefix).
# Every header of a public folder is installed, and every project header that one of them
# includes (quoted includes, followed transitively), so that an application including
# "dbv/domain_registry.h" from the install finds "outside/store_domain.h" as well. Test
# headers (*_test*) and internal headers (*_internal*) are never installed. The folders are
# read when installing, so headers added after configuring are included.
cmake_policy(PUSH)
cmake_policy(VERSION 3.25)

function(common_header_excluded header out)
  get_filename_component(name "${header}" NAME)
  if(name MATCHES "_test|_internal")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

set(queue "")
foreach(dir IN LISTS COMMON_HEADER_DIRS)
  file(GLOB headers RELATIVE "${COMMON_SOURCE_ROOT}" "${COMMON_SOURCE_ROOT}/${dir}/*.h")
  foreach(header IN LISTS headers)
    common_header_excluded("${header}" excluded)
    if(NOT excluded)
      list(APPEND queue "${header}")
    endif()
  endforeach()
endforeach()

set(installed "")
while(queue)
  list(POP_FRONT queue header)
  if(header IN_LIST installed)
    continue()
  endif()
  list(APPEND installed "${header}")
  get_filename_component(header_dir "${header}" DIRECTORY)
  file(STRINGS "${COMMON_SOURCE_ROOT}/${header}" include_lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS include_lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
    # Quoted includes are written from the project root; a name beside the header also works.
    if(EXISTS "${COMMON_SOURCE_ROOT}/${header_dir}/${included}")
      set(path "${header_dir}/${included}")
    elseif(EXISTS "${COMMON_SOURCE_ROOT}/${included}")
      set(path "${included}")
    else()
      message(WARNING "Common: ${header} includes \"${included}\", which is not in the tree")
      continue()
    endif()
    cmake_path(NORMAL_PATH path)
    common_header_excluded("${path}" excluded)
    if(excluded)
      message(WARNING "Common: public header ${header} includes ${path}, which is not installed")
    else()
      list(APPEND queue "${path}")
    endif()
  endforeach()
endwhile()

list(SORT installed)
foreach(header IN LISTS installed)
  get_filename_component(header_dir "${header}" DIRECTORY)
  file(INSTALL "${COMMON_SOURCE_ROOT}/${header}"
       DESTINATION "${CMAKE_INSTALL_PREFIX}/${COMMON_INCLUDE_DESTINATION}/${header_dir}")
endforeach()
cmake_policy(POP)
