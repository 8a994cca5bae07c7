# The 32-bit Windows console program: the one we ship.
set(KNOCKBOX_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
