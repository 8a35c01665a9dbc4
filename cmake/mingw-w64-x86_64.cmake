# Cross-compiling for 64-bit Windows with Debian's mingw-w64 compilers, POSIX
# thread model (the win32 model has no std::thread, and GoogleTest needs it):
#
#   cmake --toolchain cmake/mingw-w64-x86_64.cmake -S . -B build-win -G Ninja
#
# Test programs run through Wine (CMAKE_CROSSCOMPILING_EMULATOR) when CTest
# runs them, and lists their tests; set WINEPREFIX and WINEDEBUG=-all for it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PAVORM_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${PAVORM_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${PAVORM_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${PAVORM_MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${PAVORM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(PAVORM_WINE NAMES wine wine64 wine-stable)
if(PAVORM_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PAVORM_WINE})
endif()
