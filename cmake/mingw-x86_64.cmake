# Cross-build for 64-bit Windows with the mingw-w64 posix-thread compilers: the test helpers that
# stand in for today's 64-bit servers and browsers.
set(mingw_arch x86_64)
set(mingw_more_roots "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
