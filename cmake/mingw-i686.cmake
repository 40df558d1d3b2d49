# Cross build for 32-bit Windows with Debian's mingw-w64 toolchain: the shipped programs.
set(KORV_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
