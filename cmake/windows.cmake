# Cross build: the three Windows programs, statically linked GUI programs.
enable_language(RC)

# Reproducible programs: two builds of the same sources, in any folders and at any time, give
# the same bytes. Paths are written relative to the trees, and the linker takes the PE time
# stamp from SOURCE_DATE_EPOCH: the caller's, else the time of the checked-out commit, else 0.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(KORV_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE KORV_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET)
endif()
if(NOT KORV_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  set(KORV_SOURCE_DATE_EPOCH 0)
endif()
set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK
             "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${KORV_SOURCE_DATE_EPOCH}")
# The rebuild check (tests/build/rebuild_check.py) builds again with the same time stamp.
file(WRITE ${CMAKE_BINARY_DIR}/source_date_epoch "${KORV_SOURCE_DATE_EPOCH}\n")
add_link_options(-static -static-libgcc -static-libstdc++)
# Release programs carry no symbol tables (a third of a statically linked program's size).
add_link_options($<$<CONFIG:MinSizeRel,Release>:-s>)
# Release programs are optimised as a whole at link time (LTO), which drops every function no
# program calls; --gc-sections drops unreferenced data as well. One partition: GCC 12 stops
# with an internal error when it splits these programs into several. Set through the
# per-configuration flags, which apply to every target of the tree, also to the libraries
# defined before this file is read.
foreach(config MINSIZEREL RELEASE)
  string(APPEND CMAKE_CXX_FLAGS_${config} " -flto -ffunction-sections -fdata-sections")
  string(APPEND CMAKE_EXE_LINKER_FLAGS_${config} " -flto -flto-partition=one -Wl,--gc-sections")
endforeach()

# The runtime pieces each program defines itself instead of taking the library's heavier
# ones (see the file). An object library: its object goes into the link ahead of the runtime
# libraries, where it replaces their copies.
add_library(korv_lean_runtime OBJECT ${CMAKE_SOURCE_DIR}/platform/win32/runtime/lean_runtime.cpp)

# The small Win32 toolkit (code-page conversion, owners of handles) under the platform, the
# ui backend and KVRN.
korv_folder_library(korv_winkit winkit "*.cpp" "")
korv_folder_library(korv_ui_win32 ui/win32 "*.cpp" "" korv_ui korv_winkit)
korv_folder_library(korv_platform_win32 platform/win32 "*.cpp" "" korv_common korv_winkit)

# Further Windows targets (the programs, the test programs run under Wine), one file each.
file(GLOB KORV_WINDOWS_PARTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/win-*.cmake)
foreach(part ${KORV_WINDOWS_PARTS})
  include(${part})
endforeach()
