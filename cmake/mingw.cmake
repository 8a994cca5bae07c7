# Cross build of the Windows console program with MinGW-w64. The including file sets
# KNOCKBOX_MINGW_ARCH: i686 for the 32-bit program we ship, x86_64 for the 64-bit test build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KNOCKBOX_MINGW_ARCH})
set(triple ${KNOCKBOX_MINGW_ARCH}-w64-mingw32)
# The posix thread model gives the tests std::thread; winpthreads is linked statically.
find_program(KNOCKBOX_MINGW_CXX NAMES ${triple}-g++-posix ${triple}-g++ REQUIRED)
find_program(KNOCKBOX_MINGW_CC NAMES ${triple}-gcc-posix ${triple}-gcc REQUIRED)
set(CMAKE_CXX_COMPILER ${KNOCKBOX_MINGW_CXX})
set(CMAKE_C_COMPILER ${KNOCKBOX_MINGW_CC})
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
