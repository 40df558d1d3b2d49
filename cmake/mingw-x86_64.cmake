# Cross build for 64-bit Windows with Debian's mingw-w64 toolchain. Not the shipped product:
# these PE32+ twins of the programs let them run and be tested under 64-bit Wine on hosts
# whose kernel runs no 32-bit code (tests/wine/winehost.py decides which twin runs).
set(KORV_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
