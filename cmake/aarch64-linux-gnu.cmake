# Cross build of the Linux program for 64-bit ARM with Debian's g++-aarch64-linux-gnu; its tests
# run under qemu-aarch64-static user-mode emulation, with the ARM C library as the root of paths
# (the static program's without it).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triple aarch64-linux-gnu)
find_program(KNOCKBOX_ARM_CXX NAMES ${triple}-g++ REQUIRED)
find_program(KNOCKBOX_ARM_CC NAMES ${triple}-gcc REQUIRED)
set(CMAKE_CXX_COMPILER ${KNOCKBOX_ARM_CXX})
set(CMAKE_C_COMPILER ${KNOCKBOX_ARM_CC})
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The static program needs no C library: it runs under qemu without one (no -L).
if(KNOCKBOX_STATIC)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /usr/${triple})
endif()
