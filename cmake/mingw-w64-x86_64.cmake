# Cross-builds for Windows with Debian's mingw-w64 (POSIX-threads variant, for std::thread).
# libgcc, libstdc++ and winpthread are linked in statically so an .exe runs under Wine, or on a
# Windows machine, without DLLs beside it; with HORALUX_MINGW_SHARED_RUNTIME they are DLLs, shared
# with the Qt libraries (one C++ runtime for the program and Qt). HORALUX_QT_PREFIX names a Qt
# cross-built for mingw-w64 (scripts/build-windows-qt.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
# Try-compile projects see the cache variables only when passed on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HORALUX_MINGW_SHARED_RUNTIME HORALUX_QT_PREFIX)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(NOT HORALUX_MINGW_SHARED_RUNTIME)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()
if(HORALUX_QT_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${HORALUX_QT_PREFIX})
endif()

# The .exe files are run on this machine through Wine (try_run, tests).
find_program(_wine NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(_wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${_wine})
endif()
