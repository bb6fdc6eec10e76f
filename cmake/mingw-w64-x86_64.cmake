# Cross-compiles the Windows build with MinGW-w64 (Debian package
# g++-mingw-w64-x86-64). The POSIX-threads flavour of the compiler gives the
# tests std::thread; everything is linked statically, so the executable
# needs no MinGW run-time DLLs on the host.
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CVSPAM_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${CVSPAM_MINGW_PREFIX}-gcc-posix ${CVSPAM_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${CVSPAM_MINGW_PREFIX}-g++-posix ${CVSPAM_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${CVSPAM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CVSPAM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Programs built here run under Wine when one is installed, so that CMake's
# own checks and test discovery can run them.
find_program(CVSPAM_WINE NAMES wine wine64)
if(CVSPAM_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CVSPAM_WINE})
endif()
