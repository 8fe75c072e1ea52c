# Cross-build for 64-bit Windows with Debian's MinGW-w64 (posix threads, for
# std::thread and std::mutex). scripts/windows passes it to every build: the
# third-party libraries and the project alike. ORVENNA_WIN_PREFIX, when set,
# is the folder the libraries were installed into; it is searched before the
# MinGW system root and nothing of the Linux host is ever found.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)
set(CMAKE_AR ${_mingw}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${_mingw}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT ORVENNA_WIN_PREFIX AND DEFINED ENV{ORVENNA_WIN_PREFIX})
  set(ORVENNA_WIN_PREFIX $ENV{ORVENNA_WIN_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH ${ORVENNA_WIN_PREFIX} /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Passed on to try_compile projects (a library's own feature checks).
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVENNA_WIN_PREFIX)

# Tests and generator programs of the build run through Wine.
find_program(ORVENNA_WINE NAMES wine wine64)
if(ORVENNA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVENNA_WINE})
endif()
