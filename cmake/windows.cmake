# Cross build: the three Windows programs, statically linked GUI programs.
enable_language(RC)
add_link_options(-static -static-libgcc -static-libstdc++)

korv_folder_library(korv_ui_win32 ui/win32 "*.cpp" "" korv_ui)
korv_folder_library(korv_platform_win32 platform/win32 "*.cpp" "" korv_common)
