# What the two mingw-w64 toolchain files share: Debian's compilers for KORV_MINGW_ARCH (i686 or
# x86_64), and finding libraries and headers only in that target's root.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KORV_MINGW_ARCH})
set(CMAKE_C_COMPILER ${KORV_MINGW_ARCH}-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER ${KORV_MINGW_ARCH}-w64-mingw32-g++)
set(CMAKE_RC_COMPILER ${KORV_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KORV_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
