# Cross build: the three Windows programs, statically linked GUI programs.
enable_language(RC)
add_link_options(-static -static-libgcc -static-libstdc++)
# Release programs carry no symbol tables (a third of a statically linked program's size).
add_link_options($<$<CONFIG:MinSizeRel,Release>:-s>)

korv_folder_library(korv_ui_win32 ui/win32 "*.cpp" "" korv_ui)
korv_folder_library(korv_platform_win32 platform/win32 "*.cpp" "" korv_common)

# Further Windows targets (the programs, the test programs run under Wine), one file each.
file(GLOB KORV_WINDOWS_PARTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/win-*.cmake)
foreach(part ${KORV_WINDOWS_PARTS})
  include(${part})
endforeach()
