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

trailhost_platform_sources(helper_sources ${CMAKE_SOURCE_DIR}/tests/helpers)
set(TRAILHOST_HELPERS)
foreach(src IN LISTS helper_sources)
  get_filename_component(name ${src} NAME_WE)
  # A helper of one platform only is named for it (hold_sockets_posix becomes hold_sockets).
  string(REGEX REPLACE "_(posix|win32)$" "" name ${name})
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE trailhost_sys)
  trailhost_warnings(${name})
  list(APPEND TRAILHOST_HELPERS ${name})
endforeach()

# On Windows the servers', browser's and idle helpers again as 64-bit programs, in bin/x64, for
# the tests that run today's 64-bit servers beside the 32-bit launcher.
if(WIN32)
  include(ExternalProject)
  set(helpers64_args)
  if(CMAKE_CXX_COMPILER_LAUNCHER)
    list(APPEND helpers64_args -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
  endif()
  ExternalProject_Add(helpers64
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tests/helpers/x64
    BINARY_DIR ${CMAKE_BINARY_DIR}/helpers64
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DTRAILHOST_WERROR=${TRAILHOST_WERROR}
               -DTRAILHOST_HELPERS64_DIR=${CMAKE_BINARY_DIR}/bin/x64 ${helpers64_args}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  list(APPEND TRAILHOST_HELPERS helpers64)
endif()

set(TRAILHOST_GTEST_XML ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${TRAILHOST_GTEST_XML})
if(WIN32)
  # Wine shows the Unix file system as drive Z:.
  set(TRAILHOST_GTEST_XML Z:${TRAILHOST_GTEST_XML})
endif()

# tests/<layer>/*.cpp become the executable test_<layer>, linked with that layer's library.
function(trailhost_test_folder layer)
  cmake_parse_arguments(T "" "LABEL" "LIBS;SOURCES;LAUNCHER" ${ARGN})
  trailhost_platform_sources(srcs ${CMAKE_SOURCE_DIR}/tests/${layer})
  if(NOT srcs)
    return()
  endif()
  set(target test_${layer})
  if(NOT WIN32)
    # The second user of the machine, for the tests of what other users can do.
    list(APPEND srcs ${CMAKE_SOURCE_DIR}/tests/second_user_posix.cpp)
  endif()
  add_executable(${target} ${srcs} ${T_SOURCES} ${CMAKE_SOURCE_DIR}/tests/test_main.cpp
                           ${CMAKE_SOURCE_DIR}/tests/test_support.cpp)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${target} PRIVATE trailhost_${layer} ${T_LIBS} ${TRAILHOST_GTEST})
  trailhost_warnings(${target})
  if(TRAILHOST_HELPERS)
    add_dependencies(${target} ${TRAILHOST_HELPERS})
  endif()
  if(T_LAUNCHER)
    add_test(NAME ${target} COMMAND ${T_LAUNCHER} $<TARGET_FILE:${target}>)
  else()
    add_test(NAME ${target} COMMAND ${target})
  endif()
  set_tests_properties(${target} PROPERTIES
    ENVIRONMENT "GTEST_OUTPUT=xml:${TRAILHOST_GTEST_XML}/${target}.xml"
    LABELS "${T_LABEL}" TIMEOUT 600)
endfunction()

foreach(layer sys config stack browser tools)
  trailhost_test_folder(${layer} LABEL unit)
endforeach()

# Zip archives of other writers for the zip reader's tests, made at build time into bin/ (where the
# Windows tests find them too) by Python's zipfile and Info-ZIP's zip command.
find_program(TRAILHOST_PYTHON3 python3 REQUIRED)
find_program(TRAILHOST_ZIP zip REQUIRED)
set(foreign_zips ${CMAKE_BINARY_DIR}/bin/foreign-zips)
add_custom_command(OUTPUT ${foreign_zips}/stamp
                   COMMAND ${TRAILHOST_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/stack/foreign_zips.py
                           ${foreign_zips}
                   DEPENDS ${CMAKE_SOURCE_DIR}/tests/stack/foreign_zips.py
                   COMMENT "Zip archives of other writers for the tests")
add_custom_target(foreign_zips DEPENDS ${foreign_zips}/stamp)

# The stack tests compare the build's scrambling with the program's. On Windows they carry the
# account texts' string table with a scrambled sample, so that they read the texts the way
# trailhost.exe does.
if(TARGET test_stack)
  add_dependencies(test_stack foreign_zips)
  target_include_directories(test_stack PRIVATE ${TRAILHOST_GENERATED})
  if(WIN32)
    target_sources(test_stack PRIVATE ${TRAILHOST_GENERATED}/account_texts_sample.rc)
    set_property(SOURCE ${TRAILHOST_GENERATED}/account_texts_sample.rc APPEND PROPERTY
                 OBJECT_DEPENDS ${TRAILHOST_GENERATED}/account_texts.rc)
  endif()
endif()

if(TARGET test_tools)
  target_link_libraries(test_tools PRIVATE trailhost_view)
  target_include_directories(test_tools PRIVATE ${TRAILHOST_GENERATED})
  # On Windows they read the resources of the programs built beside them.
  if(WIN32)
    target_link_libraries(test_tools PRIVATE version)
    add_dependencies(test_tools trailhost trailhost-pack)
  endif()
endif()

# How scripts/setup derives its source-package entry from the machine's package sources.
if(NOT WIN32)
  add_test(NAME apt_sources
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/tools/apt_sources_test.sh ${CMAKE_SOURCE_DIR}
                   ${CMAKE_BINARY_DIR}/apt-sources ${TRAILHOST_GTEST_XML}/apt_sources.xml)
  set_tests_properties(apt_sources PROPERTIES LABELS unit TIMEOUT 60)
endif()

# The shell's tests. They start the programs of tests/app/helpers, which run the shell with a
# program of their own in place of the server stack. On Windows they carry the shell's resources;
# on Linux they run on a virtual display of their own when Xvfb is there (Qt's offscreen platform
# otherwise), so that the windows they make are real and can be photographed.
file(GLOB app_helper_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/app/helpers/*.cpp)
set(TRAILHOST_APP_HELPERS)
foreach(src IN LISTS app_helper_sources)
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} ${TRAILHOST_SHELL_RC})
  target_link_libraries(${name} PRIVATE ${TRAILHOST_SHELL} trailhost_app)
  trailhost_warnings(${name})
  if(WIN32)
    set_target_properties(${name} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
  list(APPEND TRAILHOST_APP_HELPERS ${name})
endforeach()

set(app_launcher)
set(app_sources ${TRAILHOST_SHELL_RC})
if(WIN32)
  list(APPEND app_sources ${CMAKE_SOURCE_DIR}/tests/sys/child_process_win32.cpp)
else()
  list(APPEND app_sources ${CMAKE_SOURCE_DIR}/tests/sys/child_process_posix.cpp)
  find_program(TRAILHOST_XVFB_RUN xvfb-run)
  if(TRAILHOST_XVFB_RUN)
    set(app_launcher ${TRAILHOST_XVFB_RUN} -a -s "-screen 0 1280x1024x24")
  endif()
endif()
trailhost_test_folder(app LABEL unit SOURCES ${app_sources} LIBS ${TRAILHOST_SHELL}
                      LAUNCHER ${app_launcher})
if(TARGET test_app)
  target_include_directories(test_app PRIVATE ${CMAKE_SOURCE_DIR}/tests/sys)
  if(TRAILHOST_APP_HELPERS)
    add_dependencies(test_app ${TRAILHOST_APP_HELPERS})
  endif()
  # Screenshots of the shell's windows are kept here.
  set(shots ${CMAKE_BINARY_DIR}/test-artifacts)
  file(MAKE_DIRECTORY ${shots})
  if(WIN32)
    set(shots Z:${shots})
  endif()
  set_property(TEST test_app APPEND PROPERTY ENVIRONMENT "TRH_TEST_ARTIFACTS=${shots}")
  # The longest test program starts first, so that the others run beside it rather than after.
  set_tests_properties(test_app PROPERTIES COST 1000)
  if(NOT WIN32)
    # Blocks that the session bus library and fontconfig keep, which Qt starts.
    set_property(TEST test_app APPEND PROPERTY ENVIRONMENT
      "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/app/lsan.supp")
  endif()
endif()

# The end-to-end tests: whole runs of the launcher, on Linux on the demo stack with the machine's
# Apache, PHP and MariaDB, on Windows under Wine with the helper programs as servers and browser.
# They build their stacks in the build folder and write a result file that scripts/test counts
# like the test programs' files.
if(NOT WIN32)
  add_test(NAME e2e_linux
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/e2e_linux.sh ${CMAKE_SOURCE_DIR}
                   ${CMAKE_BINARY_DIR}/bin ${CMAKE_BINARY_DIR}/e2e ${TRAILHOST_GTEST_XML}/e2e_linux.xml)
  set_tests_properties(e2e_linux PROPERTIES LABELS e2e TIMEOUT 300)
  # Real browsers on a display of their own, as an ordinary user; alone, as browsers are heavy.
  add_test(NAME e2e_browsers
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/e2e_browsers.sh ${CMAKE_SOURCE_DIR}
                   ${CMAKE_BINARY_DIR}/bin ${CMAKE_BINARY_DIR}/e2e-browsers
                   ${TRAILHOST_GTEST_XML}/e2e_browsers.xml)
  set_tests_properties(e2e_browsers PROPERTIES LABELS e2e TIMEOUT 400 RUN_SERIAL TRUE)
else()
  # A shell script, so no emulator: it starts Wine itself. It runs alone, because its launchers
  # change the prefix's ProxyOverride and hosts file and its -shutdown closes the first launcher
  # frame on the Wine desktop, all of which test_browser and test_app use too.
  add_test(NAME e2e_wine
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/e2e_wine.sh ${CMAKE_SOURCE_DIR}
                   ${CMAKE_BINARY_DIR}/bin ${CMAKE_BINARY_DIR}/e2e
                   ${CMAKE_BINARY_DIR}/test-results/e2e_wine.xml)
  set_tests_properties(e2e_wine PROPERTIES LABELS e2e TIMEOUT 300 RUN_SERIAL TRUE)
  # Both write the prefix's ProxyOverride (a browser starter's exception, a recovered run's).
  if(TARGET test_app AND TARGET test_browser)
    set_tests_properties(test_app test_browser PROPERTIES RESOURCE_LOCK internet_settings)
  endif()
endif()
