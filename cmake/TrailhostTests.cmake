# Tests: one executable per folder under tests/ (one ctest entry each, which keeps the Wine start-up
# cost low), and one program per file under tests/helpers/ for the tests to start. Tests and helpers
# land in the same bin/ folder, so a test finds a helper beside its own executable.

if(WIN32)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(TRAILHOST_GTEST gtest gmock)
  # Each Windows test runs under Wine, in a prefix that belongs to this build folder.
  set(TRAILHOST_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
else()
  find_package(GTest REQUIRED)
  set(TRAILHOST_GTEST GTest::gtest GTest::gmock)
endif()

file(GLOB helper_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/helpers/*.cpp)
set(TRAILHOST_HELPERS)
foreach(src IN LISTS helper_sources)
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE trailhost_sys)
  trailhost_warnings(${name})
  list(APPEND TRAILHOST_HELPERS ${name})
endforeach()

set(TRAILHOST_GTEST_XML ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${TRAILHOST_GTEST_XML})
if(WIN32)
  # Wine shows the Unix file system as drive Z:.
  set(TRAILHOST_GTEST_XML Z:${TRAILHOST_GTEST_XML})
endif()

# tests/<layer>/*.cpp become the executable test_<layer>, linked with that layer's library.
function(trailhost_test_folder layer)
  cmake_parse_arguments(T "" "LABEL" "LIBS" ${ARGN})
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${layer}/*.cpp)
  set(srcs)
  foreach(f IN LISTS all)
    get_filename_component(n ${f} NAME_WE)
    if(WIN32 AND (n MATCHES "_posix$" OR n MATCHES "_qt$"))
      continue()
    endif()
    if(NOT WIN32 AND n MATCHES "_win32$")
      continue()
    endif()
    list(APPEND srcs ${f})
  endforeach()
  if(NOT srcs)
    return()
  endif()
  set(target test_${layer})
  add_executable(${target} ${srcs} ${CMAKE_SOURCE_DIR}/tests/test_main.cpp
                           ${CMAKE_SOURCE_DIR}/tests/test_support.cpp)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${target} PRIVATE trailhost_${layer} ${T_LIBS} ${TRAILHOST_GTEST})
  trailhost_warnings(${target})
  if(TRAILHOST_HELPERS)
    add_dependencies(${target} ${TRAILHOST_HELPERS})
  endif()
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES
    ENVIRONMENT "GTEST_OUTPUT=xml:${TRAILHOST_GTEST_XML}/${target}.xml"
    LABELS "${T_LABEL}" TIMEOUT 600)
endfunction()

foreach(layer sys config stack browser app tools)
  trailhost_test_folder(${layer} LABEL unit)
endforeach()

# The stack tests compare the build's scrambling with the program's. On Windows they carry the
# account texts' string table with a scrambled sample, so that they read the texts the way
# trailhost.exe does.
if(TARGET test_stack)
  target_include_directories(test_stack PRIVATE ${TRAILHOST_GENERATED})
  if(WIN32)
    target_sources(test_stack PRIVATE ${TRAILHOST_GENERATED}/account_texts_sample.rc)
    set_property(SOURCE ${TRAILHOST_GENERATED}/account_texts_sample.rc APPEND PROPERTY
                 OBJECT_DEPENDS ${TRAILHOST_GENERATED}/account_texts.rc)
  endif()
endif()

if(TARGET test_tools)
  target_link_libraries(test_tools PRIVATE trailhost_view)
endif()
