# Build rules shared by every target: warnings, sanitizers, platform definitions, and the choice
# of platform files (foo_win32.cpp on Windows; foo_posix.cpp, foo_qt.cpp and foo_headless.cpp
# elsewhere).

function(trailhost_warnings target)
  if(MSVC)
    return()
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wnon-virtual-dtor)
  # GCC can limit the shadowing warning to locals; clang cannot, so it gets the wider -Wshadow
  # (locals, parameters and globals; members stay out in both).
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -Wshadow)
  else()
    target_compile_options(${target} PRIVATE -Wshadow=local)
    # A unity build compiles each source as if it were a header of the batch, where a class of
    # the file with a member of the file's anonymous namespace is no fault.
    if(CMAKE_UNITY_BUILD)
      target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
    endif()
  endif()
  if(TRAILHOST_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(WIN32)
    target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
                                                 WINVER=0x0601)
  else()
    target_compile_definitions(${target} PRIVATE _GNU_SOURCE)
  endif()
endfunction()

if(TRAILHOST_SANITIZERS)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# libFuzzer: every library gets the coverage instrumentation without the fuzzer's main; the fuzz
# targets themselves link the fuzzer (fuzz/CMakeLists.txt).
if(TRAILHOST_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR WIN32)
    message(FATAL_ERROR "TRAILHOST_FUZZ needs clang on Linux (cmake --preset fuzz)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Lists the sources of one folder that belong to the platform being built.
function(trailhost_platform_sources out dir)
  file(GLOB all CONFIGURE_DEPENDS ${dir}/*.cpp)
  set(picked)
  foreach(f IN LISTS all)
    get_filename_component(name ${f} NAME_WE)
    if(WIN32 AND name MATCHES "_(posix|qt|headless)$")
      continue()
    endif()
    if(NOT WIN32 AND name MATCHES "_win32$")
      continue()
    endif()
    list(APPEND picked ${f})
  endforeach()
  set(${out} ${picked} PARENT_SCOPE)
endfunction()

# One library per folder under src/; DEPS are the layers below it, LIBS what else it links.
function(trailhost_layer name)
  cmake_parse_arguments(L "" "" "DEPS;LIBS;EXCLUDE" ${ARGN})
  trailhost_platform_sources(srcs ${CMAKE_SOURCE_DIR}/src/${name})
  foreach(ex IN LISTS L_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "/${ex}$")
  endforeach()
  set(target trailhost_${name})
  if(srcs)
    add_library(${target} STATIC ${srcs})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${L_DEPS} ${L_LIBS})
    trailhost_warnings(${target})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${L_DEPS} ${L_LIBS})
  endif()
endfunction()
