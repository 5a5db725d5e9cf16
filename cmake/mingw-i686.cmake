# Cross-build for 32-bit Windows with the mingw-w64 posix-thread compilers; tests run under Wine.
# libtomcrypt comes from the cross-build that scripts/setup makes under build/deps.
set(mingw_arch i686)
set(mingw_more_roots ${CMAKE_CURRENT_LIST_DIR}/../build/deps/tomcrypt-mingw)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
