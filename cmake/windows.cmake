# Cross build: the three Windows programs, statically linked GUI programs.
enable_language(RC)
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

korv_folder_library(korv_ui_win32 ui/win32 "*.cpp" "" korv_ui)
korv_folder_library(korv_platform_win32 platform/win32 "*.cpp" "" korv_common)

# Further Windows targets (the programs, the test programs run under Wine), one file each.
file(GLOB KORV_WINDOWS_PARTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/win-*.cmake)
foreach(part ${KORV_WINDOWS_PARTS})
  include(${part})
endforeach()
