# The same tree for 64-bit Windows, for machines that cannot run 32-bit code.
set(KNOCKBOX_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
