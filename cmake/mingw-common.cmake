# What both mingw-w64 toolchain files share: the posix-thread compilers and tools of the target
# `mingw_arch` (i686 or x86_64), which the including file sets first, its libraries and headers
# found only under its own root (and `mingw_more_roots`), and a static runtime, so that each
# program runs alone wherever it is copied.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${mingw_arch})

set(CMAKE_C_COMPILER ${mingw_arch}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_arch}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_arch}-w64-mingw32-windres)
set(CMAKE_AR ${mingw_arch}-w64-mingw32-ar)
set(CMAKE_RANLIB ${mingw_arch}-w64-mingw32-ranlib)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_arch}-w64-mingw32 ${mingw_more_roots})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
