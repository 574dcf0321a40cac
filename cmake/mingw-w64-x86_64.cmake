# Cross-builds the Windows programs on Linux with mingw-w64 (64-bit).
#   cmake -S . -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVELTRANE_BUILD_GUI=OFF
# The test programs then run under wine (scripts/test-windows).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELTRANE_MINGW_PREFIX x86_64-w64-mingw32)

# The posix threads variant: its libstdc++ has std::thread and friends, which
# the win32 variant of the Debian 12 compiler lacks.
find_program(VELTRANE_MINGW_CXX NAMES ${VELTRANE_MINGW_PREFIX}-g++-posix ${VELTRANE_MINGW_PREFIX}-g++
             REQUIRED)
find_program(VELTRANE_MINGW_CC NAMES ${VELTRANE_MINGW_PREFIX}-gcc-posix ${VELTRANE_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${VELTRANE_MINGW_CXX})
if(VELTRANE_MINGW_CC)
  set(CMAKE_C_COMPILER ${VELTRANE_MINGW_CC})
endif()
set(CMAKE_RC_COMPILER ${VELTRANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELTRANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The static mingw-w64 builds of SQLite, libsodium, Google Benchmark and Qt that scripts/qt-windows
# makes from Debian's sources, in its cache ($VELTRANE_CACHE, default
# ~/.cache/veltrane): their folders join the find root, so find_package(SQLite3),
# find_path(... sodium.h), find_library(... sodium) and find_package(Qt6) find
# them like any library of the cross environment. -DVELTRANE_WINDOWS_PREFIXES=...
# (a list of folders) replaces what the cache names.
if(NOT DEFINED VELTRANE_WINDOWS_PREFIXES)
  if(DEFINED ENV{VELTRANE_CACHE})
    set(_veltrane_cache "$ENV{VELTRANE_CACHE}")
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(_veltrane_cache "$ENV{XDG_CACHE_HOME}/veltrane")
  else()
    set(_veltrane_cache "$ENV{HOME}/.cache/veltrane")
  endif()
  set(VELTRANE_WINDOWS_PREFIXES "")
  if(EXISTS "${_veltrane_cache}/windows-prefixes.cmake")
    include("${_veltrane_cache}/windows-prefixes.cmake")
    foreach(_prefix IN ITEMS "${VELTRANE_WINDOWS_SQLITE}" "${VELTRANE_WINDOWS_SODIUM}"
                               "${VELTRANE_WINDOWS_BENCHMARK}" "${VELTRANE_WINDOWS_QT}")
      if(_prefix AND EXISTS "${_prefix}/.veltrane-complete")
        list(APPEND VELTRANE_WINDOWS_PREFIXES "${_prefix}")
      endif()
    endforeach()
  endif()
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${VELTRANE_WINDOWS_PREFIXES})
# Qt's build tools (moc, rcc, uic) are the host's own.
if(NOT DEFINED QT_HOST_PATH)
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()

# Self-contained executables: no libstdc++/libgcc/libwinpthread DLLs to ship
# beside them (nor to find under wine).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under wine when CTest is asked to run them.
find_program(VELTRANE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VELTRANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELTRANE_WINE})
endif()
