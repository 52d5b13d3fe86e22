# Cross-compiling toolchain for mingw-w64 (posix threads).
# ILATCH_ARCH selects the target: x86_64 (default) or i686.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT DEFINED ILATCH_ARCH)
  set(ILATCH_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${ILATCH_ARCH})
set(_triple ${ILATCH_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER   ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER  ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Only the 64-bit build runs here: there is no 32-bit Wine on the build machine.
if(ILATCH_ARCH STREQUAL "x86_64")
  find_program(ILATCH_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
  if(ILATCH_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ILATCH_WINE64})
  endif()
endif()
